/*
 * settings.cpp - the global settings record.
 */
#include "settings/settings.h"

SettingsRecord Settings = {1, 1, 1, 1, 1, 1, {{{0}}, 0}, {0}, {0}, 1, 0};
