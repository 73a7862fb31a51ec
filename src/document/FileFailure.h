// Why the last read or save of a file failed: the step that failed and the
// system's error code at that moment (errno natively, GetLastError() on
// Windows; SystemErrorText() words it). A failed save always has a code,
// except for the steps that are a reason by themselves: NotAFile,
// NoTextForm and TooLarge may have none.
#pragma once

#include <cstdint>

struct FileFailure {
  enum class Step {
    None,
    Open,             // the file could not be opened (or, for a new file, made)
    BrokenLink,       // a symbolic link to a file that is not there
    Locked,           // another program holds it
    Folder,           // the path names a folder
    NotAFile,         // a FIFO, a device or anything else that is not a disk file
    ReadOnly,         // no write permission, or the read-only attribute
    TooLarge,         // larger than the reader takes, or than memory holds
    Read,             // a read failed
    NoTextForm,       // a value that has no text form: nothing was written
    MakeTemp,         // no new file could be made in the folder
    KeepPermissions,  // the new file could not be given the old one's owner,
                      // group, mode, ACL, extended attributes or security
    WiderAccess,      // the new file would give someone more access than the old
    Write,            // a write failed (a full disk)
    Flush,            // the content could not be flushed to disk
    Replace,          // the new file could not take the old one's place
    PermissionsLost,  // the new content is in place, but the old file that was
                      // to take it back with its permissions could not: only
                      // an administrator may open the file until they are set
  };

  Step step = Step::None;
  uint32_t error = 0;
};
