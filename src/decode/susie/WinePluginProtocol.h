/*
 * The messages between Orvanto and its Windows plug-in helper
 * (orvanto-spihost32.exe / orvanto-spihost64.exe, run under Wine).
 *
 * Plain C with fixed-width fields only, so the host (C++, Linux) and the
 * helper (C, MinGW-w64, 32 or 64 bits) compile the same header. Everything
 * travels on the helper's standard input (host to helper) and standard
 * output (helper to host) as frames: a 12-byte header, then `length` bytes
 * of payload. All numbers are little-endian. Blocks (file data, bitmap
 * information, pixel rows, text) travel inline in the payload: a Windows
 * process cannot take file descriptors from a Unix socket.
 *
 * Texts in payloads are UTF-8; the helper converts the plug-ins' CP932 texts
 * and turns Linux file names into Windows ones.
 */
#ifndef ORVANTO_WINE_PLUGIN_PROTOCOL_H
#define ORVANTO_WINE_PLUGIN_PROTOCOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
typedef struct WspFrameHeader {
    uint32_t opcode;
    uint32_t plugin; /* plug-in number from WSP_OPEN; 0 where none applies */
    uint32_t length; /* payload bytes that follow */
} WspFrameHeader;
#pragma pack(pop)

#define WSP_FRAME_HEADER_SIZE 12u

/* The largest payload either side accepts. */
#define WSP_MAX_PAYLOAD (1024u * 1024u * 1024u)

/* Version of this protocol, sent in WSP_HELLO. */
#define WSP_PROTOCOL_VERSION 1u

/* --- helper to host, unasked --------------------------------------------- */

/* First frame of the helper. Payload: u32 protocol version, u32 pointer size
 * in bytes (4 or 8), u32 the process's ANSI code page. */
#define WSP_HELLO 0x01u

/* Sent from the helper's crash handler just before it ends. Payload: u32
 * exception code, u64 exception address. */
#define WSP_CRASHED 0x02u

/* --- requests (host to helper) and their replies ---------------------------
 * Every request is answered by a frame with the same opcode and plug-in
 * number, except that GetPicture and GetPreview may send WSP_PROGRESS frames
 * first. */

/* Payload: UTF-8 Linux path of the DLL. Reply payload: i32 status
 * (WSP_OPEN_*), u32 exported entry points (bit n = entry n of TSPI's order:
 * GetPluginInfo, ConfigurationDlg, IsSupported, GetPictureInfo, GetPicture,
 * GetPreview, GetArchiveInfo, GetFileInfo, GetFile). The reply's plug-in field
 * holds the plug-in number the other requests name. */
#define WSP_OPEN 0x10u
#define WSP_OPEN_OK 0
#define WSP_OPEN_LOAD_FAILED 1
#define WSP_OPEN_TOO_MANY 2

/* Payload: i32 info number. Reply: i32 result, then the text (UTF-8, no
 * ending zero). */
#define WSP_PLUGIN_INFO 0x11u

/* Payload: u32 name length, UTF-8 Linux file name (may be empty), then
 * exactly WSP_HEAD_SIZE bytes of the data head. Reply: i32 result. */
#define WSP_IS_SUPPORTED 0x12u
#define WSP_HEAD_SIZE 2048u

/* The input of the picture calls, leading their payloads: u32 flag, i64 len
 * (offset in the file, or data length), u32 size of what follows, then the
 * UTF-8 Linux file name (file input) or the data bytes (memory input). */
typedef struct WspPictureInput {
    uint32_t flag;
    int64_t len;
    uint32_t size;
} WspPictureInput;
#define WSP_PICTURE_INPUT_SIZE 16u

/* Payload: the input. Reply: i32 result, i32 left, i32 top, i32 width,
 * i32 height, u16 x density, u16 y density, i16 colour depth, u32 text
 * length, the text block (UTF-8) when the plug-in gave one. */
#define WSP_PICTURE_INFO 0x13u
#define WSP_PICTURE_INFO_FIXED_SIZE 30u

/* Payload: the input, then u32 1 when the host wants progress frames.
 * Reply: i32 result, u32 size of the information block, u32 size of the
 * pixel block, then both blocks. */
#define WSP_PICTURE 0x14u
#define WSP_PREVIEW 0x15u

/* Helper to host during GetPicture/GetPreview. Payload: i32 current, i32
 * total. The host answers WSP_PROGRESS with payload i32: non-zero stops the
 * plug-in. */
#define WSP_PROGRESS 0x20u

/* Payload: none. The helper frees its plug-ins and ends. No reply. */
#define WSP_QUIT 0x30u

/* Result of a request the helper could not carry out (unknown plug-in
 * number, short payload, no memory for a block). */
#define WSP_RESULT_HELPER_ERROR 8

#ifdef __cplusplus
}
#endif

#endif /* ORVANTO_WINE_PLUGIN_PROTOCOL_H */
