// regfile.h - the reader of registry editor export files (registry.reg),
// which fills the registry tree (regtree.h).
#ifndef TOVIK_PLATFORM_REGFILE_H
#define TOVIK_PLATFORM_REGFILE_H

#include <string>

#include "internal.h"
#include "regtree.h"

namespace host {
namespace reg {

// Reads an export file into `tree` and finishes it: the text the device
// folder's reader gave (whose bytes are let go once read), or the file's
// bytes as they are (its byte order mark included). Malformed lines are
// reported through ReportMalformed under the file's name and skipped.
void ParseRegFile(DeviceText *file, Tree *tree);
void ParseRegFile(const std::string &bytes, Tree *tree, const std::string &fileName);

// The device registry read from registry.reg in the device folder (a
// missing file is an empty registry).
extern const Source kRegFileSource;

}  // namespace reg
}  // namespace host

#endif  // TOVIK_PLATFORM_REGFILE_H
