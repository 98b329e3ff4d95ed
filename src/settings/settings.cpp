/*
 * settings.cpp - the global settings record and its table of flags.
 */
#include "settings/settings.h"

#include "resource.h"

SettingsRecord Settings = {
    .registry = 1,
    .files = 1,
    .fileInRom = 1,
    .crc32 = 1,
    .databases = 1,
    .setup = 1,
    .excludes = {},
    .defaultPath = {},
    .configPath = {},
    .dialogCancelled = 1,
    .runRequested = 0,
};

/* Declared with SETTINGS_FLAG_COUNT rows: a row more or less here does not
 * compile. */
const SettingsFlag SettingsFlags[] = {
    {"Registry ", L"REGISTRY ", L"REGISTRY%u", &Settings.registry, IDC_REGISTRY},
    {"Files ", L"FILES ", L"FILES%u", &Settings.files, IDC_FILES},
    {"FileInROM ", L"FILEINROM", L"FILEINROM%u", &Settings.fileInRom, IDC_FILEINROM},
    {"crc32 ", L"CRC32 ", L"CRC32%u", &Settings.crc32, IDC_CRC32},
    {"Databases ", L"DATABASES ", L"DATABASES%u", &Settings.databases, IDC_DATABASES},
    {"Setup ", L"SETUP ", L"SETUP%u", &Settings.setup, IDC_SETUP},
};
