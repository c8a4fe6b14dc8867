#pragma once

#include <QtGlobal>

// Numbers of the log book's own failures, as the error report shows them.
namespace LogErrors {
inline constexpr qint32 kShortLine = 30101;        // a line holds fewer than 14 fields
inline constexpr qint32 kUnreadableFile = 30102;   // the log exists but cannot be opened or read
inline constexpr qint32 kSaveRefused = 30103;      // the table holds only part of the file
inline constexpr qint32 kSaveFailed = 30104;       // the new file could not be written or put in place
inline constexpr qint32 kBadCellCharacter = 30105; // a cell holds "," or CR, which the format cannot keep
inline constexpr qint32 kLineTooLong = 30106;      // a line longer than 4 GiB
inline constexpr qint32 kExtraFields = 30107;      // a line holds more than 14 fields
inline constexpr qint32 kLoadFailed = 30108;       // the load stopped on an unforeseen failure (out of memory)
inline constexpr qint32 kMixedLineEnds = 30109;    // a flight of a CR LF file ends with LF alone
}
