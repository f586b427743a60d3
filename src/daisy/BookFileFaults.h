#pragma once
// The points where the book build changes files on disk. A test installs a hook that
// makes one of them fail, to see that the build reports it and puts the project folder
// and the book back; in the program no hook is installed and nothing fails here.

#include <functional>

#include "platform/CString.h"

enum class EBookFileStep {
    BackupClear,     // keeping aside the backup folder of an earlier build
    BackupMark,      // writing the mark that the project's files are in the backup
    BackupMove,      // moving a project file into the backup folder
    BackupSave,      // saving the project into the backup folder
    MoveBack,        // moving a file back out of the backup folder after a failed backup
    SectionWrite,    // writing section audio
    SectionClose,    // closing a section's audio file
    Ncc,             // closing NCC.html
    Smil,            // closing one SMIL file
    DiscInfo,        // closing DiscInfo.html
    ProjectSave,     // the final save into the project folder
    BackupDiscard,   // setting the backup of an earlier build aside to be discarded, once the book stands
    BackupRelease,   // removing the mark, which makes the book stand
    RestoreMove,     // moving a file back from the backup
    RestoreDelete,   // deleting a file the backup does not hold
};

// True when the step on `path` is to fail.
using BookFileFault = std::function<bool(EBookFileStep step, const CString& path)>;

// Installs the hook (an empty one removes it); returns the previous one.
BookFileFault SetBookFileFault(BookFileFault fault);

// True when an installed hook makes this step fail.
bool BookFileFails(EBookFileStep step, const CString& path);
