/*
 * The protocol between Orvanto and its helper processes.
 *
 * Plug-ins and archiver libraries do not run inside the program: a helper
 * process loads them and calls them on the program's behalf. The program
 * (the "host") starts the helper on first use, keeps it running while it is
 * useful, and ends and restarts it when it crashes, exceeds its resource
 * limits or stops answering. Any helper that speaks this protocol can serve
 * the host: the native one (orvanto-helper, ELF shared objects) and helpers
 * for other binary formats (a Windows helper under Wine, say).
 *
 * Plain C, no dependencies beyond <stdint.h>, so that a helper written in C
 * for another platform can include it as it is.
 *
 * ---------------------------------------------------------------------------
 * Channel
 *
 * One reliable byte stream in each direction: the helper reads requests from
 * its standard input (fd 0) and writes frames to its standard output (fd 1).
 * The native host hands it one end of a Unix socket pair as both; other
 * helpers may get two pipes. Standard error is for diagnostics only.
 *
 * Descriptors (memfd shared memory) travel with SCM_RIGHTS only where both
 * ends said so in HELLO (ORV_CAP_FDS); otherwise every byte goes inline in
 * the stream. A Windows helper never offers ORV_CAP_FDS.
 *
 * ---------------------------------------------------------------------------
 * Frames
 *
 * Every message is a 16-byte header followed by `length` payload bytes. All
 * numbers are little-endian. The payload is a sequence of fields, each an
 * 8-byte field header (tag, size) followed by `size` bytes, without padding.
 * Unknown fields are skipped; a field may repeat where a message says so.
 *
 *   integer fields (ORV_F_* marked "int"): exactly 8 bytes, signed int64
 *   text fields ("text"): UTF-8 bytes, no terminating zero
 *   byte fields ("bytes"): raw bytes
 *   shared-memory fields ("shm"): an OrvShmRef, see below
 *
 * Descriptors sent with a frame are attached (SCM_RIGHTS) to the sendmsg
 * call that carries the first byte of that frame's header, in the order the
 * shm fields refer to them (fdIndex 0, 1, ...). The receiver collects them
 * while reading the header, maps each shm field's descriptor, checks that
 * the object holds at least `size` bytes, and closes the descriptors it did
 * not use. The sender seals each object's size (F_SEAL_SHRINK, F_SEAL_GROW)
 * before sending it; the receiver refuses an object that is not sealed
 * against shrinking.
 *
 * Conversation: the host sends ORV_MSG_HELLO first and waits for its
 * ORV_MSG_REPLY. After that the host sends one request at a time and waits
 * for the ORV_MSG_REPLY with the same serial. While a request runs the helper
 * may send any number of ORV_MSG_PROGRESS frames (same serial), and the host
 * may send ORV_MSG_ABORT (same serial). The helper sends nothing unasked.
 *
 * Sign of life: the host ends a helper that sends no frame for 10 seconds
 * while a request runs. A helper whose request makes progress (a plug-in
 * calls its progress callback, a library reads or writes files) sends
 * ORV_MSG_PROGRESS at least every few seconds; a helper stuck in a loop
 * sends nothing and is ended. A plug-in's progress callback gives one
 * ORV_MSG_PROGRESS frame per call, so the host can hand each report on.
 *
 * Abort: on ORV_MSG_ABORT the helper makes the plug-in's progress callback
 * return non-zero from then on (Susie's way of asking it to stop) and
 * answers the request as soon as the call returns. A host that asked for an
 * abort treats a successful reply as aborted all the same (a plug-in may
 * finish before the abort reaches it). A host that gets no reply
 * soon after an abort ends the helper; a helper need not read ABORT frames
 * at all when its calls cannot be stopped (the host ends it then).
 */
#ifndef ORVANTO_HELPER_PROTOCOL_H
#define ORVANTO_HELPER_PROTOCOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORV_HELPER_MAGIC 0x3148564Fu /* "OVH1" as little-endian bytes */
#define ORV_HELPER_PROTOCOL_VERSION 1

/* No frame carries more payload than this (the decoders accept at most
 * 2^28 pixels of 4 bytes: 1 GiB of pixel rows, plus headers). */
#define ORV_MAX_FRAME_PAYLOAD ((1u << 30) + (1u << 20))

#pragma pack(push, 1)
typedef struct OrvFrameHeader {
    uint32_t magic; /* ORV_HELPER_MAGIC */
    uint32_t type; /* ORV_MSG_* */
    uint32_t serial; /* chosen by the host for a request; echoed by its replies */
    uint32_t length; /* payload bytes that follow, at most ORV_MAX_FRAME_PAYLOAD */
} OrvFrameHeader;

typedef struct OrvFieldHeader {
    uint32_t tag; /* ORV_F_* */
    uint32_t size; /* bytes that follow */
} OrvFieldHeader;

/* The payload of a "shm" field: a memfd (or other mappable descriptor) sent
 * with the frame, holding `size` bytes from offset 0. */
typedef struct OrvShmRef {
    uint32_t fdIndex; /* position among the descriptors of this frame */
    uint32_t reserved; /* 0 */
    uint64_t size;
} OrvShmRef;

/* The picture information record without its text handle: the same 22
 * bytes for 32-bit and 64-bit plug-ins (ORV_F_PICTURE_INFO). */
typedef struct OrvPictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t xDensity;
    uint16_t yDensity;
    int16_t colorDepth;
} OrvPictureInfo;
#pragma pack(pop)

#define ORV_FRAME_HEADER_SIZE 16
#define ORV_FIELD_HEADER_SIZE 8
#define ORV_SHM_REF_SIZE 16
#define ORV_PICTURE_INFO_SIZE 22

#ifdef __cplusplus
static_assert(sizeof(OrvFrameHeader) == ORV_FRAME_HEADER_SIZE, "frame header is 16 bytes");
static_assert(sizeof(OrvFieldHeader) == ORV_FIELD_HEADER_SIZE, "field header is 8 bytes");
static_assert(sizeof(OrvShmRef) == ORV_SHM_REF_SIZE, "shm reference is 16 bytes");
static_assert(sizeof(OrvPictureInfo) == ORV_PICTURE_INFO_SIZE, "picture information is 22 bytes");
#else
_Static_assert(sizeof(OrvFrameHeader) == ORV_FRAME_HEADER_SIZE, "frame header is 16 bytes");
_Static_assert(sizeof(OrvFieldHeader) == ORV_FIELD_HEADER_SIZE, "field header is 8 bytes");
_Static_assert(sizeof(OrvShmRef) == ORV_SHM_REF_SIZE, "shm reference is 16 bytes");
_Static_assert(sizeof(OrvPictureInfo) == ORV_PICTURE_INFO_SIZE, "picture information is 22 bytes");
#endif

/* ---------------------------------------------------------------------------
 * Message types
 */

/* host -> helper. Fields: ORV_F_PROTOCOL, ORV_F_CAPS (what the host accepts).
 * Reply: ORV_F_STATUS, ORV_F_PROTOCOL, ORV_F_CAPS (both sides' common
 * capabilities), ORV_F_KIND, ORV_F_PID. A helper of another protocol version
 * answers ORV_STATUS_BAD_REQUEST and the host ends it. */
#define ORV_MSG_HELLO 1
/* helper -> host: the answer to the request with the same serial. Every
 * reply has ORV_F_STATUS; the other fields are listed with each request. */
#define ORV_MSG_REPLY 2
/* helper -> host while a request runs: ORV_F_CURRENT, ORV_F_TOTAL of a
 * plug-in's progress report, or no fields at all for a bare sign of life. */
#define ORV_MSG_PROGRESS 3
/* host -> helper while a request runs: asks it to stop (no fields, no reply
 * of its own). */
#define ORV_MSG_ABORT 4
/* host -> helper: finish and exit (no reply). Closing the channel means the
 * same. */
#define ORV_MSG_QUIT 5

/* Susie plug-ins. Every request names the plug-in file in ORV_F_PATH; the
 * helper loads a file on first use and keeps it loaded, so requests need no
 * earlier "open" and survive a restart of the helper.
 *
 * ORV_MSG_SPI_LOAD: loads the plug-in and asks it for all its information.
 *   Reply: ORV_F_STATUS; ORV_F_ENTRY_MASK (bit n set: the entry point
 *   ORV_SPI_ENTRY_n exists); ORV_F_API_VERSION and ORV_F_PLUGIN_INFO (text,
 *   present when GetPluginInfo(0) / (1) gave a result > 0); then, for
 *   n = 2, 4, ... while both GetPluginInfo(n) and (n + 1) give > 0 (at most
 *   ORV_SPI_MAX_FORMAT_ENTRIES pairs), ORV_F_PATTERN and ORV_F_FORMAT_NAME
 *   (text, repeated, in order). Texts are cut at the first zero byte and at
 *   255 bytes (the plug-in gets a 256-byte zeroed buffer with length 255).
 *   A helper that cannot load the file answers ORV_STATUS_LOAD_FAILED with a
 *   reason in ORV_F_TEXT.
 * ORV_MSG_SPI_PLUGIN_INFO: ORV_F_PATH, ORV_F_NUMBER.
 *   Reply: ORV_F_RESULT (GetPluginInfo's result), ORV_F_TEXT (the buffer's
 *   text as above).
 * ORV_MSG_SPI_IS_SUPPORTED: ORV_F_PATH, ORV_F_NAME (the file name handed to
 *   the plug-in, may be empty), ORV_F_DATA (the head of the data; the helper
 *   pads it with zeros to at least 2048 bytes).
 *   Reply: ORV_F_RESULT.
 * ORV_MSG_SPI_GET_PICTURE_INFO, ORV_MSG_SPI_GET_PICTURE,
 * ORV_MSG_SPI_GET_PREVIEW: ORV_F_PATH, ORV_F_INPUT_KIND, and
 *   for ORV_INPUT_FILE: ORV_F_NAME (the file) and ORV_F_OFFSET (byte offset);
 *   for ORV_INPUT_MEMORY: the data in ORV_F_DATA or ORV_F_DATA_SHM.
 *   Reply to GET_PICTURE_INFO: ORV_F_RESULT; when it is 0 also
 *   ORV_F_PICTURE_INFO and, when the plug-in attached text information,
 *   ORV_F_TEXT_INFO (the whole block, as many bytes as the block holds).
 *   Reply to GET_PICTURE / GET_PREVIEW: ORV_F_RESULT; when it is 0 the two
 *   blocks, each either inline or shared: ORV_F_BITMAP_INFO or
 *   ORV_F_BITMAP_INFO_SHM, ORV_F_BITMAP_BITS or ORV_F_BITMAP_BITS_SHM. A
 *   block is sent whole (the usable size of the allocation: malloc's usable
 *   size natively, LocalSize on Windows); the host checks every header
 *   against the sizes it received. While the plug-in calls its progress
 *   callback the helper sends ORV_MSG_PROGRESS with its (current, total).
 */
#define ORV_MSG_SPI_LOAD 16
#define ORV_MSG_SPI_PLUGIN_INFO 17
#define ORV_MSG_SPI_IS_SUPPORTED 18
#define ORV_MSG_SPI_GET_PICTURE_INFO 19
#define ORV_MSG_SPI_GET_PICTURE 20
#define ORV_MSG_SPI_GET_PREVIEW 21

/* Archiver libraries (the calling forms of src/archive/ArchiverAbi.h).
 *
 * ORV_MSG_ARC_CALL: ORV_F_PATH (library file), ORV_F_ENTRY (exported name,
 *   "UnlhaOpenArchive"), ORV_F_FORM (ORV_ARC_FORM_*) and the form's
 *   arguments:
 *     COMMAND       ORV_F_WINDOW, ORV_F_ARG (command line), ORV_F_SIZE
 *                   (output buffer size; 0 passes no buffer)
 *                   -> ORV_F_RESULT, ORV_F_OUTPUT (buffer up to its first
 *                   zero byte, at most SIZE - 1 bytes)
 *     OPEN          ORV_F_WINDOW, ORV_F_ARG (archive path), ORV_F_MODE
 *                   -> ORV_F_RESULT (the handle; 0 = failure)
 *     CLOSE         ORV_F_HANDLE -> ORV_F_RESULT
 *     FIND_FIRST    ORV_F_HANDLE, ORV_F_ARG (wildcard) -> ORV_F_RESULT, and
 *                   ORV_F_RECORD (the 558-byte record) when RESULT is 0
 *     FIND_NEXT     ORV_F_HANDLE -> as FIND_FIRST
 *     EXTRACT_MEM   ORV_F_WINDOW, ORV_F_ARG (command line), ORV_F_SIZE
 *                   (buffer size) -> ORV_F_RESULT, ORV_F_WRITTEN, and the
 *                   bytes written in ORV_F_OUTPUT or ORV_F_OUTPUT_SHM
 *     CHECK         ORV_F_ARG (archive path), ORV_F_MODE -> ORV_F_RESULT
 *     ARCHIVE_TYPE  ORV_F_ARG (archive path) -> ORV_F_RESULT
 *     SET_OWNER     ORV_F_WINDOW (the callback is never passed) -> RESULT
 *     KILL_OWNER    ORV_F_WINDOW -> ORV_F_RESULT
 *     GET_TIME      ORV_F_HANDLE -> ORV_F_RESULT, ORV_F_VALUE (the 64-bit
 *                   file time, high << 32 | low)
 *     GET_SIZE      ORV_F_HANDLE -> ORV_F_RESULT, ORV_F_VALUE
 *     PROBE         (no arguments, nothing called) -> ORV_F_RESULT 1: the
 *                   library exports the entry (else NO_ENTRY as below)
 *   A library or entry that cannot be found answers ORV_STATUS_LOAD_FAILED
 *   or ORV_STATUS_NO_ENTRY. Handles are the library's own numbers, valid in
 *   that helper process only: a restarted helper has none open.
 *   Progress: while a call runs, a helper whose process has read or written
 *   files since the last frame sends ORV_MSG_PROGRESS about once a
 *   second (a bare PROGRESS frame), so long unpacks are not taken for hangs.
 * ORV_MSG_ARC_SET_LIMITS: ORV_F_PATH (library file), ORV_F_BYTES (bytes the
 *   next extractions of this library may write in all) and ORV_F_FILES (files
 *   they may create). Reply: ORV_F_STATUS (ORV_STATUS_NO_ENTRY for a library
 *   without such limits).
 */
#define ORV_MSG_ARC_CALL 32
#define ORV_MSG_ARC_SET_LIMITS 33

/* ---------------------------------------------------------------------------
 * Field tags
 */
#define ORV_F_PROTOCOL 1 /* int: ORV_HELPER_PROTOCOL_VERSION */
#define ORV_F_CAPS 2 /* int: ORV_CAP_* bits */
#define ORV_F_KIND 3 /* int: ORV_KIND_* */
#define ORV_F_PID 4 /* int: the helper's process id */

#define ORV_F_STATUS 10 /* int: ORV_STATUS_* */
#define ORV_F_RESULT 11 /* int: the called function's result */
#define ORV_F_TEXT 12 /* text: reason of a failure; GetPluginInfo text */

#define ORV_F_PATH 20 /* text: plug-in or library file */
#define ORV_F_ENTRY 21 /* text: exported entry name */
#define ORV_F_FORM 22 /* int: ORV_ARC_FORM_* */

#define ORV_F_NUMBER 30 /* int: GetPluginInfo's info number */
#define ORV_F_NAME 31 /* text: file name handed to the plug-in */
#define ORV_F_INPUT_KIND 32 /* int: ORV_INPUT_* */
#define ORV_F_OFFSET 33 /* int: byte offset of the data in the file */
#define ORV_F_DATA 34 /* bytes: data in memory */
#define ORV_F_DATA_SHM 35 /* shm: data in memory */

#define ORV_F_ENTRY_MASK 40 /* int: ORV_SPI_ENTRY_* bits */
#define ORV_F_API_VERSION 41 /* text */
#define ORV_F_PLUGIN_INFO 42 /* text */
#define ORV_F_PATTERN 43 /* text, repeated */
#define ORV_F_FORMAT_NAME 44 /* text, repeated */
#define ORV_F_PICTURE_INFO 45 /* bytes: OrvPictureInfo */
#define ORV_F_TEXT_INFO 46 /* bytes: the text information block */
#define ORV_F_BITMAP_INFO 47 /* bytes: bitmap information block */
#define ORV_F_BITMAP_INFO_SHM 48 /* shm: the same */
#define ORV_F_BITMAP_BITS 49 /* bytes: pixel block */
#define ORV_F_BITMAP_BITS_SHM 50 /* shm: the same */

#define ORV_F_CURRENT 60 /* int: progress */
#define ORV_F_TOTAL 61 /* int: progress */

#define ORV_F_WINDOW 70 /* int: owner window number */
#define ORV_F_ARG 71 /* text: command line, archive path or wildcard */
#define ORV_F_MODE 72 /* int */
#define ORV_F_HANDLE 73 /* int: archive handle */
#define ORV_F_SIZE 74 /* int: buffer size */
#define ORV_F_OUTPUT 75 /* bytes: output buffer contents */
#define ORV_F_OUTPUT_SHM 76 /* shm: the same */
#define ORV_F_RECORD 77 /* bytes: 558-byte entry record */
#define ORV_F_VALUE 78 /* int: 64-bit value */
#define ORV_F_WRITTEN 79 /* int: bytes written by ExtractMem */
#define ORV_F_BYTES 80 /* int: byte limit */
#define ORV_F_FILES 81 /* int: file count limit */

/* ---------------------------------------------------------------------------
 * Values
 */
#define ORV_CAP_FDS 1u /* descriptors may travel with SCM_RIGHTS */

#define ORV_KIND_NATIVE 1 /* ELF plug-ins and libraries of this machine */
#define ORV_KIND_WINDOWS_32 2 /* 32-bit Windows DLLs under Wine */
#define ORV_KIND_WINDOWS_64 3 /* 64-bit Windows DLLs under Wine */

#define ORV_STATUS_OK 0 /* the call ran; ORV_F_RESULT is its result */
#define ORV_STATUS_LOAD_FAILED 1 /* the plug-in or library cannot be loaded */
#define ORV_STATUS_NO_ENTRY 2 /* it lacks the entry point asked for */
#define ORV_STATUS_BAD_REQUEST 3 /* malformed or unknown request */
#define ORV_STATUS_NO_MEMORY 4 /* the helper could not hold the data */

#define ORV_INPUT_FILE 0 /* as SUSIE_INPUT_FILE */
#define ORV_INPUT_MEMORY 1 /* as SUSIE_INPUT_MEMORY */

/* Bits of ORV_F_ENTRY_MASK, in the plug-in's entry order. */
#define ORV_SPI_ENTRY_GET_PLUGIN_INFO 0
#define ORV_SPI_ENTRY_CONFIGURATION_DLG 1
#define ORV_SPI_ENTRY_IS_SUPPORTED 2
#define ORV_SPI_ENTRY_GET_PICTURE_INFO 3
#define ORV_SPI_ENTRY_GET_PICTURE 4
#define ORV_SPI_ENTRY_GET_PREVIEW 5
#define ORV_SPI_ENTRY_GET_ARCHIVE_INFO 6
#define ORV_SPI_ENTRY_GET_FILE_INFO 7
#define ORV_SPI_ENTRY_GET_FILE 8

#define ORV_SPI_MAX_FORMAT_ENTRIES 4096

#define ORV_ARC_FORM_COMMAND 1
#define ORV_ARC_FORM_OPEN 2
#define ORV_ARC_FORM_CLOSE 3
#define ORV_ARC_FORM_FIND_FIRST 4
#define ORV_ARC_FORM_FIND_NEXT 5
#define ORV_ARC_FORM_EXTRACT_MEM 6
#define ORV_ARC_FORM_CHECK 7
#define ORV_ARC_FORM_ARCHIVE_TYPE 8
#define ORV_ARC_FORM_SET_OWNER 9
#define ORV_ARC_FORM_KILL_OWNER 10
#define ORV_ARC_FORM_GET_TIME 11
#define ORV_ARC_FORM_GET_SIZE 12
#define ORV_ARC_FORM_PROBE 13

/* Seconds without a frame after which the host ends a helper whose request
 * is running. */
#define ORV_HELPER_SILENCE_LIMIT_SECONDS 10

#ifdef __cplusplus
}
#endif

#endif /* ORVANTO_HELPER_PROTOCOL_H */
