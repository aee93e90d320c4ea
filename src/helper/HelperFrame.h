#pragma once
// Building, sending, receiving and reading the frames of the helper
// protocol (HelperProtocol.h). Used by both ends: the program's helper
// client and the helper program.
#include "helper/HelperProtocol.h"
#include "platform/GuardedProcess.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace helper {

struct Field {
    std::uint32_t tag = 0;
    const char* data = nullptr;
    std::uint32_t size = 0;
};

// A received frame. Owns its payload and the descriptors that came with it.
class Message {
public:
    Message() = default;
    ~Message();
    Message(Message&& other) noexcept;
    Message& operator=(Message&& other) noexcept;
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    std::uint32_t type = 0;
    std::uint32_t serial = 0;

    const Field* Find(std::uint32_t tag) const;
    std::vector<const Field*> FindAll(std::uint32_t tag) const;
    // An int field (exactly 8 bytes); false when missing or malformed.
    bool Int(std::uint32_t tag, std::int64_t& value) const;
    std::int64_t IntOr(std::uint32_t tag, std::int64_t fallback) const;
    std::string Text(std::uint32_t tag) const;
    // Maps the descriptor a shm field refers to (read-only, checked against
    // the object's size). False when the field is missing or bad.
    // privateCopy: a writable copy-on-write mapping the receiver may keep
    // and change (the sender's object stays as it was). Objects whose size
    // is not sealed (platform::SealSharedMemorySize) are refused.
    bool MapShm(std::uint32_t tag, platform::SharedMapping& mapping, bool privateCopy = false) const;

    // Reads one frame (blocking). error tells why not.
    bool Receive(int channel, std::string& error);

private:
    void CloseDescriptors();
    bool ParseFields(std::string& error);

    std::vector<char> m_payload;
    std::vector<Field> m_fields;
    std::vector<int> m_fds;
};

// Builds one frame and sends it.
class MessageBuilder {
public:
    MessageBuilder(std::uint32_t type, std::uint32_t serial);

    MessageBuilder& Int(std::uint32_t tag, std::int64_t value);
    MessageBuilder& Text(std::uint32_t tag, std::string_view text);
    MessageBuilder& Bytes(std::uint32_t tag, const void* data, std::size_t size);
    void SetSerial(std::uint32_t serial);
    // Refers to a descriptor sent with the frame; the caller keeps it open
    // until Send has returned and closes it afterwards.
    MessageBuilder& Shm(std::uint32_t tag, int fd, std::uint64_t size);

    // False when the payload grew beyond ORV_MAX_FRAME_PAYLOAD or the
    // channel failed.
    bool Send(int channel);

private:
    std::vector<char> m_frame; // header and payload
    std::vector<int> m_fds;
    bool m_tooLarge = false;
};

} // namespace helper
