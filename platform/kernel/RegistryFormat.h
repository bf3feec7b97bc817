// The hive file format: little-endian binary, written whole on every change.
//
//   "ORVIHIVE"  u32 version (1)  u64 next key id  key  u32 CRC-32 of all before
//   key    = u64 id, u64 last write, name, u32 value count, values,
//            u32 subkey count, keys
//   value  = name, u32 type, u32 size, bytes
//   name   = u32 length in UTF-16 units, the units (no terminator)
//
// Data is kept byte for byte as the caller set it, whatever its type.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "RegistryKey.h"

namespace orvi::kernel {

class RegistryFormat {
public:
    static std::vector<BYTE> Encode(const RegistryKey& root, uint64_t nextKeyId);
    // The root key, or nullptr when the bytes are not an intact hive file
    // (wrong magic or version, truncated, checksum mismatch, names that break
    // the registry's rules, keys nested too deep).
    static std::unique_ptr<RegistryKey> Decode(const std::vector<BYTE>& bytes, uint64_t* nextKeyId);
};

}  // namespace orvi::kernel
