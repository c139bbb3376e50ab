// RAR 5.0 headers: a CRC32 over each header, sizes and flags as variable-length integers.
#pragma once

#include "RarHeaders.h"

class Rar5Headers : public RarHeaders {
  public:
    std::string signature() const override;
    std::string mainHeader(const RarVolumeSpot& spot) const override;
    std::string fileHeader(const RarEntry& entry, const RarPart& part) const override;
    std::string endHeader(const RarVolumeSpot& spot) const override;
    std::string_view inlineData(const RarEntry& entry) const override;
};

// 7 bits a byte, lowest first, the high bit saying another byte follows.
void appendVint(std::string& out, std::uint64_t value);
