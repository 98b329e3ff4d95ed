/*
 * crc32.h - the checksum printed beside each file of the listing.
 *
 * A CRC with the polynomial 0x04C11DB7, processed most significant bit
 * first, initial value 0 and no final inversion (the POSIX checksum
 * utility's CRC without its final complement and length suffix; not the zip
 * CRC-32). Check values: "abc" gives 2C17398C, "123456789" gives 89A1897F.
 */
#ifndef TOVIK_CRC32_H
#define TOVIK_CRC32_H

#include "platform.h"

#define CRC32_POLYNOMIAL 0x04C11DB7UL
#define CRC32_READ_BYTES 16384

/* Fills the 256-entry table that Crc32Update uses (and the tables of the
 * fast method). Filling is done once; later calls return at once. */
void Crc32InitTable(void);

/* The table-driven update, one byte at a time: the reference for the
 * checksum's values. Returns the new crc; nothing is done for a length of 0
 * or less. Crc32InitTable must have been called. */
DWORD Crc32Update(DWORD crc, const BYTE *data, LONG length);

/* The same values as Crc32Update, computed faster: carry-less
 * multiplication folding where the processor has it, eight bytes per step
 * through eight tables elsewhere. Fills the tables itself when needed. */
DWORD Crc32UpdateFast(DWORD crc, const BYTE *data, LONG length);

/* The checksum of the whole file at the device path `path`, read in blocks
 * of CRC32_READ_BYTES into one static buffer; 0 when the file cannot be
 * opened. A read error ends the checksum like the end of the file. */
DWORD FileCrc32(LPCWSTR path);

#endif /* TOVIK_CRC32_H */
