// The window-less list of the editor's tests, for the import tests of this folder.
#include "../app/FakeListView_support.cpp"
