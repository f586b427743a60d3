#include "daisy/BookFileFaults.h"

#include <utility>

namespace {

BookFileFault& InstalledFault() {
    static BookFileFault fault;
    return fault;
}

}  // namespace

BookFileFault SetBookFileFault(BookFileFault fault) { return std::exchange(InstalledFault(), std::move(fault)); }

bool BookFileFails(EBookFileStep step, const CString& path) {
    const BookFileFault& fault = InstalledFault();
    return fault && fault(step, path);
}
