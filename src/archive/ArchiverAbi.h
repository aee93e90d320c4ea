#pragma once
// The calling interface shared by the archiver libraries (archivers/, built as
// libunlha32.so, libunzip32.so, ...) and the program's binding to them.
//
// Every library exports plain C functions named by its entry prefix followed
// by a fixed suffix ("Unlha" + "OpenArchive"), the command entry being the
// prefix alone. Texts are zero-terminated UTF-8. A window is an opaque
// pointer-sized number that the libraries accept and may ignore.
//
// This header is self-contained C/C++ so that either side can include it.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t ArcWindow; // owner window (opaque, may be 0)
typedef uintptr_t ArcHandle; // open archive from OpenArchive; 0 = failure
typedef int32_t ArcBool; // non-zero = true

// Windows-style file time: 100-nanosecond intervals since 1601-01-01 UTC.
typedef struct ArcFileTime {
    uint32_t low;
    uint32_t high;
} ArcFileTime;

#define ARC_FNAME_MAX 512

// The per-entry record a library fills in FindFirst/FindNext: 558 bytes,
// little-endian, no padding.
#pragma pack(push, 1)
typedef struct ArcIndividualInfo {
    uint32_t originalSize; //   0: uncompressed size (low 32 bits; 0xFFFFFFFF when larger)
    uint32_t compressedSize; //   4: compressed size (same rule)
    uint32_t crc; //   8: CRC of the entry as stored (0 when the format has none)
    uint32_t flag; //  12: library status bits (0)
    uint32_t osType; //  16: host OS code of the entry (0 = unknown)
    uint16_t ratio; //  20: compressed / original in per mille
    uint16_t dosDate; //  22: DOS date of the last write
    uint16_t dosTime; //  24: DOS time of the last write
    char fileName[ARC_FNAME_MAX + 1]; //  26: entry name, '/'-separated UTF-8; cut at a
                                      //      character boundary when longer (GetFileName
                                      //      gives the whole name)
    char reserved[3]; // 539
    char attribute[8]; // 542: "--rwa" style attribute text
    char mode[8]; // 550: method name ("-lh5-", "deflate", ...)
} ArcIndividualInfo; // 558

// The record the binding hands around: the library's record followed by the
// times and 64-bit sizes the binding fills itself (598 bytes).
typedef struct ArcEntryInfo {
    ArcIndividualInfo info; //   0
    ArcFileTime lastWriteTime; // 558
    ArcFileTime lastAccessTime; // 566
    ArcFileTime creationTime; // 574
    uint64_t originalSize64; // 582
    uint64_t compressedSize64; // 590
} ArcEntryInfo; // 598
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(ArcFileTime) == 8, "ArcFileTime is 8 bytes");
static_assert(sizeof(ArcIndividualInfo) == 558, "the per-entry record is 558 bytes");
static_assert(sizeof(ArcEntryInfo) == 598, "the binding's entry record is 598 bytes");
#else
_Static_assert(sizeof(ArcIndividualInfo) == 558, "the per-entry record is 558 bytes");
_Static_assert(sizeof(ArcEntryInfo) == 598, "the binding's entry record is 598 bytes");
#endif

// Entry point forms (suffix after the prefix in the comment).
// Command entry (prefix alone): output may be null when size is 0.
typedef int32_t (*ArcCommandProc)(ArcWindow window, const char* commandLine, char* output, uint32_t outputSize);
// "OpenArchive"
typedef ArcHandle (*ArcOpenArchiveProc)(ArcWindow window, const char* archivePath, uint32_t mode);
// "CloseArchive": 0 on success
typedef int32_t (*ArcCloseArchiveProc)(ArcHandle archive);
// "FindFirst": 0 = an entry was found and the record filled, -1 = no more entries,
// other values are error codes
typedef int32_t (*ArcFindFirstProc)(ArcHandle archive, const char* wildcard, ArcIndividualInfo* info);
// "FindNext": as FindFirst
typedef int32_t (*ArcFindNextProc)(ArcHandle archive, ArcIndividualInfo* info);
// "ExtractMem": the command line names the archive and one entry; the entry's
// bytes go to buffer (at most bufferSize). lastWriteUnixTime and attributes may be null.
typedef int32_t (*ArcExtractMemProc)(ArcWindow window, const char* commandLine, uint8_t* buffer, uint32_t bufferSize,
                                     int64_t* lastWriteUnixTime, uint16_t* attributes, uint32_t* writtenSize);
// "CheckArchive": non-zero when the file is an intact archive of the library's format
typedef ArcBool (*ArcCheckArchiveProc)(const char* archivePath, int32_t mode);
// "SetOwnerWindowEx": callback may be null (the libraries ignore it)
typedef ArcBool (*ArcSetOwnerWindowExProc)(ArcWindow window, void* callback);
// "KillOwnerWindowEx"
typedef ArcBool (*ArcKillOwnerWindowExProc)(ArcWindow window);
// "GetWriteTimeEx", "GetCreateTimeEx", "GetAccessTimeEx": of the entry last found
typedef ArcBool (*ArcGetTimeExProc)(ArcHandle archive, ArcFileTime* time);
// "GetOriginalSizeEx", "GetCompressedSizeEx": of the entry last found
typedef ArcBool (*ArcGetSizeExProc)(ArcHandle archive, uint64_t* size);
// "GetArchiveType": one of ARC_TYPE_* (0 = not an archive of the library)
typedef int32_t (*ArcGetArchiveTypeProc)(const char* archivePath);
// "GetVersion": version * 100 (e.g. 341)
typedef uint16_t (*ArcGetVersionProc)(void);
// "GetRunning": non-zero while a command runs
typedef ArcBool (*ArcGetRunningProc)(void);
// "GetFileName": the full name of the entry last found; 0 on success,
// ARC_ERROR_BUFFER_TOO_SMALL when size is too small (nothing written then)
typedef int32_t (*ArcGetFileNameProc)(ArcHandle archive, char* buffer, int32_t size);
// "GetFileCount": number of entries, -1 on error
typedef int32_t (*ArcGetFileCountProc)(const char* archivePath);

// CheckArchive modes: the low two bits choose the depth.
#define ARC_CHECK_RAPID 0 // look at the start of the file only
#define ARC_CHECK_BASIC 1 // read every entry header
#define ARC_CHECK_FULLCRC 2 // decode every entry
#define ARC_CHECK_ALL 16 // every header (same as BASIC here)

// GetArchiveType codes. TAR library: 1 tar, 2 tar.gz, 3 tar.Z, 4 gz, 5 Z,
// 6 tar.bz2, 7 bz2, 8 tar.xz, 9 xz, 32 cpio (+1 gz, +2 Z, +3 bz2, +4 xz),
// 48 ar (same offsets), 64 rpm. Other libraries answer 1 for their own
// format, 0 for anything else.
#define ARC_TYPE_NONE 0
#define ARC_TYPE_TAR 1
#define ARC_TYPE_TARGZ 2
#define ARC_TYPE_TARZ 3
#define ARC_TYPE_GZ 4
#define ARC_TYPE_Z 5
#define ARC_TYPE_TARBZ2 6
#define ARC_TYPE_BZ2 7
#define ARC_TYPE_TARXZ 8
#define ARC_TYPE_XZ 9
#define ARC_TYPE_CPIO 32
#define ARC_TYPE_AR 48
#define ARC_TYPE_RPM 64
#define ARC_TYPE_OWN 1

// Return codes of the command entries and ExtractMem. 0 is success; the
// error numbers follow the classic archiver numbering.
#define ARC_OK 0
#define ARC_ERROR_DISK_SPACE 0x8005
#define ARC_ERROR_READ_ONLY 0x8006
#define ARC_ERROR_USER_SKIP 0x8007
#define ARC_ERROR_UNKNOWN_TYPE 0x8008
#define ARC_ERROR_METHOD 0x8009 // compression method not supported
#define ARC_ERROR_PASSWORD_FILE 0x800A // encrypted entry
#define ARC_ERROR_VERSION 0x800B
#define ARC_ERROR_FILE_CRC 0x800C // data does not match its checksum
#define ARC_ERROR_FILE_OPEN 0x800D // an output file could not be created
#define ARC_ERROR_MORE_FRESH 0x800E
#define ARC_ERROR_NOT_EXIST 0x800F
#define ARC_ERROR_ALREADY_EXIST 0x8010
#define ARC_ERROR_TOO_MANY_FILES 0x8011
#define ARC_ERROR_MAKEDIRECTORY 0x8012
#define ARC_ERROR_CANNOT_WRITE 0x8013
#define ARC_ERROR_HUFFMAN_CODE 0x8014 // corrupt compressed data
#define ARC_ERROR_COMMENT_HEADER 0x8015
#define ARC_ERROR_HEADER_CRC 0x8016
#define ARC_ERROR_HEADER_BROKEN 0x8017 // corrupt or truncated archive
#define ARC_ERROR_ARC_FILE_OPEN 0x8018 // the archive cannot be opened
#define ARC_ERROR_NOT_ARC_FILE 0x8019 // the file is not an archive of this library
#define ARC_ERROR_CANNOT_READ 0x801A
#define ARC_ERROR_FILE_STYLE 0x801B
#define ARC_ERROR_COMMAND_NAME 0x801C // unknown command word
#define ARC_ERROR_MORE_HEAP_MEMORY 0x801D
#define ARC_ERROR_ENOUGH_MEMORY 0x801E
#define ARC_ERROR_ALREADY_RUNNING 0x801F
#define ARC_ERROR_USER_CANCEL 0x8020
#define ARC_ERROR_HARC_ISNOT_OPENED 0x8021
#define ARC_ERROR_NOT_SEARCH_MODE 0x8022
#define ARC_ERROR_NOT_SUPPORT 0x8023 // the library cannot do this command
#define ARC_ERROR_TIME_STAMP 0x8024
#define ARC_ERROR_TMP_OPEN 0x8025
#define ARC_ERROR_LONG_FILE_NAME 0x8026
#define ARC_ERROR_ARC_READ_ONLY 0x8027
#define ARC_ERROR_SAME_NAME_FILE 0x8028
#define ARC_ERROR_NOT_FIND_ARC_FILE 0x8029
#define ARC_ERROR_RESPONSE_READ 0x802A // a response file cannot be read
#define ARC_ERROR_NOT_FILENAME 0x802B
#define ARC_ERROR_TMP_COPY 0x802C
#define ARC_ERROR_EOF 0x802D // archive ends in the middle of an entry
#define ARC_ERROR_SIZE_BUDGET 0x8041 // an entry or the archive expands beyond the size budget
#define ARC_ERROR_BAD_COMMAND 0x8042 // the command line cannot be parsed
#define ARC_ERROR_BUFFER_TOO_SMALL 0x8043 // ExtractMem/GetFileName: the buffer is smaller than the data
#define ARC_ERROR_HELPER_FAILED                                                                                        \
    0x8044 // the helper process running the library crashed, hit one of
           // its resource limits or stopped answering
#define ARC_ERROR_SIZE_MISMATCH 0x8045 // an entry's data is shorter or longer than its header says
#define ARC_ERROR_NEED_VOLUMES 0x8046 // part of a split archive: the other parts are needed

// Size budget of one extraction: no single entry and no whole archive is
// written beyond this many bytes.
#define ARC_EXTRACT_BUDGET_BYTES (4ULL * 1024 * 1024 * 1024)

#ifdef __cplusplus
} // extern "C"
#endif
