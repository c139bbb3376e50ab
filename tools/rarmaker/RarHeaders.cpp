#include "RarHeaders.h"

#include "Rar4Headers.h"
#include "Rar5Headers.h"

std::unique_ptr<RarHeaders> rarHeaders(RarFormat format, RarNaming naming) {
    if (format == RarFormat::rar4) return std::make_unique<Rar4Headers>(naming);
    return std::make_unique<Rar5Headers>();
}
