#pragma once
// The moment the book files are stamped with: the NCC's dates and the identifier a book
// gets when it has none. Tests set the clock so that the files they compare come out
// the same on every run; the program leaves it on the system's local time.

#include <ctime>
#include <functional>

using BookClock = std::function<std::tm()>;

// Local time now, from the installed clock.
std::tm BookLocalTime();

// Installs `clock` (an empty one restores the system's clock); returns the previous one.
BookClock SetBookClock(BookClock clock);
