// RAR 4.x headers: fixed little-endian fields, each header checked by the low 16 bits of
// a CRC32 over everything after its own CRC field.
#pragma once

#include "RarHeaders.h"

class Rar4Headers : public RarHeaders {
  public:
    explicit Rar4Headers(RarNaming naming) : naming(naming) {}
    std::string signature() const override;
    std::string mainHeader(const RarVolumeSpot& spot) const override;
    std::string fileHeader(const RarEntry& entry, const RarPart& part) const override;
    std::string endHeader(const RarVolumeSpot& spot) const override;
    std::string_view inlineData(const RarEntry& entry) const override;

  private:
    RarNaming naming;
};
