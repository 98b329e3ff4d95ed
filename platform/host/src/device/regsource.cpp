// regsource.cpp - where the device registry comes from: its export file.
// A registry kept in another form is read by a source of its own file,
// named here.
#include "regfile.h"

const host::reg::Source &host::reg::DeviceRegistrySource() { return kRegFileSource; }
