// The editor's window-less list, for running the build with lists attached.
#include "../app/FakeListView_support.cpp"
