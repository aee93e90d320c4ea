#include "HelperFrame.h"

#include <cstddef>
#include <cstring>

namespace helper {

Message::~Message()
{
    CloseDescriptors();
}

Message::Message(Message&& other) noexcept
    : type(other.type),
      serial(other.serial),
      m_payload(std::move(other.m_payload)),
      m_fields(std::move(other.m_fields)),
      m_fds(std::move(other.m_fds))
{
    other.m_fds.clear();
    other.m_fields.clear();
}

Message& Message::operator=(Message&& other) noexcept
{
    if (this != &other) {
        CloseDescriptors();
        type = other.type;
        serial = other.serial;
        m_payload = std::move(other.m_payload);
        m_fields = std::move(other.m_fields);
        m_fds = std::move(other.m_fds);
        other.m_fds.clear();
        other.m_fields.clear();
    }
    return *this;
}

void Message::CloseDescriptors()
{
    for (int fd : m_fds)
        platform::CloseDescriptor(fd);
    m_fds.clear();
}

const Field* Message::Find(std::uint32_t tag) const
{
    for (const Field& field : m_fields) {
        if (field.tag == tag)
            return &field;
    }
    return nullptr;
}

std::vector<const Field*> Message::FindAll(std::uint32_t tag) const
{
    std::vector<const Field*> found;
    for (const Field& field : m_fields) {
        if (field.tag == tag)
            found.push_back(&field);
    }
    return found;
}

bool Message::Int(std::uint32_t tag, std::int64_t& value) const
{
    const Field* field = Find(tag);
    if (!field || field->size != 8)
        return false;
    std::memcpy(&value, field->data, 8);
    return true;
}

std::int64_t Message::IntOr(std::uint32_t tag, std::int64_t fallback) const
{
    std::int64_t value = 0;
    return Int(tag, value) ? value : fallback;
}

std::string Message::Text(std::uint32_t tag) const
{
    const Field* field = Find(tag);
    return field ? std::string(field->data, field->size) : std::string();
}

bool Message::MapShm(std::uint32_t tag, platform::SharedMapping& mapping, bool privateCopy) const
{
    const Field* field = Find(tag);
    if (!field || field->size != ORV_SHM_REF_SIZE)
        return false;
    OrvShmRef ref;
    std::memcpy(&ref, field->data, sizeof ref);
    if (ref.fdIndex >= m_fds.size() || ref.size > ORV_MAX_FRAME_PAYLOAD)
        return false;
    const int fd = m_fds[ref.fdIndex];
    const std::int64_t actual = platform::SharedMemorySize(fd);
    if (actual < 0 || std::uint64_t(actual) < ref.size)
        return false;
    // Only an object sealed against shrinking is mapped: shrinking any
    // other later would take its pages away from every mapping, copied or
    // not, and the next read would end this process (SIGBUS).
    if (!platform::SharedMemorySizeSealed(fd))
        return false;
    return privateCopy ? mapping.MapPrivate(fd, static_cast<std::size_t>(ref.size))
                       : mapping.Map(fd, static_cast<std::size_t>(ref.size), false);
}

bool Message::Receive(int channel, std::string& error)
{
    CloseDescriptors();
    m_fields.clear();
    m_payload.clear();
    OrvFrameHeader header{};
    if (!platform::ReceiveOnChannel(channel, &header, sizeof header, m_fds)) {
        error = "the channel closed";
        return false;
    }
    if (header.magic != ORV_HELPER_MAGIC) {
        error = "a frame without the protocol's mark";
        return false;
    }
    if (header.length > ORV_MAX_FRAME_PAYLOAD) {
        error = "a frame larger than the protocol allows";
        return false;
    }
    type = header.type;
    serial = header.serial;
    try {
        m_payload.resize(header.length);
    } catch (const std::bad_alloc&) {
        error = "no memory for a frame";
        return false;
    }
    if (header.length && !platform::ReceiveOnChannel(channel, m_payload.data(), header.length, m_fds)) {
        error = "the channel closed inside a frame";
        return false;
    }
    return ParseFields(error);
}

bool Message::ParseFields(std::string& error)
{
    std::size_t at = 0;
    while (at < m_payload.size()) {
        if (m_payload.size() - at < ORV_FIELD_HEADER_SIZE) {
            error = "a field header cut short";
            return false;
        }
        OrvFieldHeader header;
        std::memcpy(&header, m_payload.data() + at, sizeof header);
        at += sizeof header;
        if (header.size > m_payload.size() - at) {
            error = "a field longer than its frame";
            return false;
        }
        m_fields.push_back(Field{header.tag, m_payload.data() + at, header.size});
        at += header.size;
    }
    return true;
}

MessageBuilder::MessageBuilder(std::uint32_t type, std::uint32_t serial)
{
    OrvFrameHeader header{ORV_HELPER_MAGIC, type, serial, 0};
    m_frame.resize(sizeof header);
    std::memcpy(m_frame.data(), &header, sizeof header);
}

MessageBuilder& MessageBuilder::Bytes(std::uint32_t tag, const void* data, std::size_t size)
{
    if (m_tooLarge || size > ORV_MAX_FRAME_PAYLOAD
        || m_frame.size() - ORV_FRAME_HEADER_SIZE + ORV_FIELD_HEADER_SIZE + size > ORV_MAX_FRAME_PAYLOAD) {
        m_tooLarge = true;
        return *this;
    }
    OrvFieldHeader header{tag, static_cast<std::uint32_t>(size)};
    const std::size_t at = m_frame.size();
    m_frame.resize(at + sizeof header + size);
    std::memcpy(m_frame.data() + at, &header, sizeof header);
    if (size)
        std::memcpy(m_frame.data() + at + sizeof header, data, size);
    return *this;
}

MessageBuilder& MessageBuilder::Int(std::uint32_t tag, std::int64_t value)
{
    return Bytes(tag, &value, sizeof value);
}

MessageBuilder& MessageBuilder::Text(std::uint32_t tag, std::string_view text)
{
    return Bytes(tag, text.data(), text.size());
}

MessageBuilder& MessageBuilder::Shm(std::uint32_t tag, int fd, std::uint64_t size)
{
    OrvShmRef ref{static_cast<std::uint32_t>(m_fds.size()), 0, size};
    m_fds.push_back(fd);
    return Bytes(tag, &ref, sizeof ref);
}

void MessageBuilder::SetSerial(std::uint32_t serial)
{
    std::memcpy(m_frame.data() + offsetof(OrvFrameHeader, serial), &serial, sizeof serial);
}

bool MessageBuilder::Send(int channel)
{
    if (m_tooLarge)
        return false;
    const std::uint32_t length = static_cast<std::uint32_t>(m_frame.size() - ORV_FRAME_HEADER_SIZE);
    std::memcpy(m_frame.data() + offsetof(OrvFrameHeader, length), &length, sizeof length);
    return platform::SendOnChannel(channel, m_frame.data(), m_frame.size(), m_fds);
}

} // namespace helper
