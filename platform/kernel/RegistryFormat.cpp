// Encoding and strict decoding of hive files.
#include "RegistryFormat.h"

#include <cstring>
#include <unordered_set>

namespace orvi::kernel {
namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'I', 'H', 'I', 'V', 'E'};
constexpr uint32_t kVersion = 1;

uint32_t Crc32(const BYTE* data, size_t size) {
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

class Writer {
public:
    void U32(uint32_t v) { Raw(v, 4); }
    void U64(uint64_t v) { Raw(v, 8); }
    void Name(const std::u16string& name) {
        U32(static_cast<uint32_t>(name.size()));
        for (char16_t c : name)
            Raw(c, 2);
    }
    void Bytes(const std::vector<BYTE>& data) { m_out.insert(m_out.end(), data.begin(), data.end()); }
    void Key(const RegistryKey& key) {
        U64(key.Id());
        U64(key.LastWrite());
        Name(key.Name());
        U32(static_cast<uint32_t>(key.Values().size()));
        for (const auto& value : key.Values()) {
            Name(value.name);
            U32(value.type);
            U32(static_cast<uint32_t>(value.data.size()));
            Bytes(value.data);
        }
        U32(static_cast<uint32_t>(key.SubkeyCount()));
        for (size_t i = 0; i < key.SubkeyCount(); ++i)
            Key(key.SubkeyAt(i));
    }
    std::vector<BYTE>& Out() { return m_out; }

private:
    void Raw(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            m_out.push_back(static_cast<BYTE>(v >> (8 * i)));
    }
    std::vector<BYTE> m_out;
};

// Every read is bounds-checked; the first failure makes the whole decode fail.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}

    bool U32(uint32_t* v) { return Raw(v, 4); }
    bool U64(uint64_t* v) { return Raw(v, 8); }
    bool Name(std::u16string* name, size_t maxLength) {
        uint32_t length;
        if (!U32(&length) || length > maxLength || length > Left() / 2)
            return false;
        name->resize(length);
        for (auto& c : *name) {
            uint16_t unit = 0;
            if (!Raw(&unit, 2))
                return false;
            c = unit;
        }
        return true;
    }
    bool Bytes(std::vector<BYTE>* data, uint32_t size) {
        if (size > Left())
            return false;
        data->assign(m_data + m_pos, m_data + m_pos + size);
        m_pos += size;
        return true;
    }
    size_t Left() const { return m_size - m_pos; }

private:
    template <class T>
    bool Raw(T* v, int bytes) {
        if (Left() < static_cast<size_t>(bytes))
            return false;
        uint64_t r = 0;
        for (int i = 0; i < bytes; ++i)
            r |= static_cast<uint64_t>(m_data[m_pos + i]) << (8 * i);
        m_pos += bytes;
        *v = static_cast<T>(r);
        return true;
    }
    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class Decoder {
public:
    Decoder(Reader& reader, uint64_t nextKeyId) : m_in(reader), m_nextKeyId(nextKeyId) {}

    std::unique_ptr<RegistryKey> Key(size_t depth) {
        uint64_t id, lastWrite;
        std::u16string name;
        if (!m_in.U64(&id) || !m_in.U64(&lastWrite) || !m_in.Name(&name, kMaxKeyNameLength))
            return nullptr;
        bool nameOk = depth == 0 ? name.empty() && id == 0
                                 : !name.empty() && name.find(u'\\') == std::u16string::npos;
        if (!nameOk || id >= m_nextKeyId || !m_ids.insert(id).second)
            return nullptr;
        auto key = std::make_unique<RegistryKey>(id, std::move(name));
        key->SetLastWrite(lastWrite);
        if (!Values(*key) || !Subkeys(*key, depth))
            return nullptr;
        return key;
    }

private:
    bool Values(RegistryKey& key) {
        uint32_t count;
        if (!m_in.U32(&count))
            return false;
        std::unordered_set<std::u16string> seen;
        for (uint32_t i = 0; i < count; ++i) {
            std::u16string name;
            uint32_t type, size;
            std::vector<BYTE> data;
            if (!m_in.Name(&name, kMaxValueNameLength) || !m_in.U32(&type) || !m_in.U32(&size) ||
                !m_in.Bytes(&data, size) || !seen.insert(FoldRegistryName(name)).second)
                return false;
            key.SetValue(name, type, std::move(data));
        }
        return true;
    }

    bool Subkeys(RegistryKey& key, size_t depth) {
        uint32_t count;
        if (!m_in.U32(&count) || (count > 0 && depth >= kMaxKeyDepth))
            return false;
        std::unordered_set<std::u16string> seen;
        for (uint32_t i = 0; i < count; ++i) {
            auto subkey = Key(depth + 1);
            if (!subkey || !seen.insert(FoldRegistryName(subkey->Name())).second)
                return false;
            key.AddSubkey(std::move(subkey));
        }
        return true;
    }

    Reader& m_in;
    uint64_t m_nextKeyId;
    std::unordered_set<uint64_t> m_ids;
};

}  // namespace

std::vector<BYTE> RegistryFormat::Encode(const RegistryKey& root, uint64_t nextKeyId) {
    Writer out;
    out.Bytes(std::vector<BYTE>(kMagic, kMagic + sizeof kMagic));
    out.U32(kVersion);
    out.U64(nextKeyId);
    out.Key(root);
    out.U32(Crc32(out.Out().data(), out.Out().size()));
    return std::move(out.Out());
}

std::unique_ptr<RegistryKey> RegistryFormat::Decode(const std::vector<BYTE>& bytes, uint64_t* nextKeyId) {
    constexpr size_t kHeader = sizeof kMagic + 4 + 8;
    if (bytes.size() < kHeader + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return nullptr;
    size_t body = bytes.size() - 4;
    Reader crc(bytes.data() + body, 4);
    uint32_t stored = 0;
    if (!crc.U32(&stored) || stored != Crc32(bytes.data(), body))
        return nullptr;
    Reader in(bytes.data() + sizeof kMagic, body - sizeof kMagic);
    uint32_t version;
    uint64_t next;
    if (!in.U32(&version) || version != kVersion || !in.U64(&next))
        return nullptr;
    Decoder decoder(in, next);
    auto root = decoder.Key(0);
    if (!root || in.Left() != 0)
        return nullptr;
    *nextKeyId = next;
    return root;
}

}  // namespace orvi::kernel
