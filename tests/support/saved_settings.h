// saved_settings.h - the program's one global settings record, kept as a
// test found it and put back when the test ends.
#ifndef TOVIK_TEST_SAVED_SETTINGS_H
#define TOVIK_TEST_SAVED_SETTINGS_H

#include "settings/settings.h"

namespace testing_device {

// The record as at program start: every flag 1, no patterns, empty paths,
// dialogCancelled 1, runRequested 0. Settings is initialised as a constant,
// before this copy is made as the test program starts, so it is the record
// before any test ran. (Header only: the support's sources are also built
// into tests that do not link the program.)
inline const SettingsRecord kStartSettings = Settings;

// Sets the record to what it holds at program start.
inline void ResetSettings() { Settings = kStartSettings; }

// For its life the record starts as at program start; at its end the
// record is put back as it was. A test fixture holds one as a member.
class SavedSettings {
 public:
  SavedSettings() : saved_(Settings) { ResetSettings(); }
  ~SavedSettings() { Settings = saved_; }
  SavedSettings(const SavedSettings &) = delete;
  SavedSettings &operator=(const SavedSettings &) = delete;

 private:
  SettingsRecord saved_;
};

}  // namespace testing_device

#endif  // TOVIK_TEST_SAVED_SETTINGS_H
