#include "daisy/BookClock.h"

#include <utility>

namespace {

BookClock& InstalledClock() {
    static BookClock clock;
    return clock;
}

}  // namespace

std::tm BookLocalTime() {
    if (const BookClock& clock = InstalledClock()) return clock();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

BookClock SetBookClock(BookClock clock) { return std::exchange(InstalledClock(), std::move(clock)); }
