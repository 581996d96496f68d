#include "frontend/htkParamFile.h"

#include <cstdio>
#include <cstring>

#include "common/byteOrder.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"

namespace {

const size_t HTK_HEADER_BYTES = 12;

} // namespace

void htkParamFileWrite(const std::string& path, const FeatureMatrix& features)
{
    const size_t values = static_cast<size_t>(features.frameNum) * static_cast<size_t>(features.vecSize);
    if (features.frameNum < 0 || features.vecSize <= 0 || features.vecSize * 4 > 0x7FFF || values != features.data.size())
        fatalError("Cannot write %s: %d frames of %d values do not form a parameter file", path.c_str(),
                   features.frameNum, features.vecSize);
    std::string bytes(HTK_HEADER_BYTES + 4 * values, '\0');
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    writeBe32(p, static_cast<uint32_t>(features.frameNum));
    writeBe32(p + 4, static_cast<uint32_t>(features.framePeriod));
    writeBe16(p + 8, static_cast<uint16_t>(4 * features.vecSize));
    writeBe16(p + 10, features.paramKind);
    for (size_t i = 0; i < values; ++i) {
        uint32_t raw;
        std::memcpy(&raw, &features.data[i], sizeof raw);
        writeBe32(p + HTK_HEADER_BYTES + 4 * i, raw);
    }

    writeFileWhole(path, bytes);
}

FeatureMatrix htkParamFileRead(const std::string& path)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        fatalError("Cannot open file %s (line %d of %s)", path.c_str(), 100, "lib\\utility");
    if (bytes.size() < HTK_HEADER_BYTES)
        fatalError("%s is not a parameter file: %zu bytes", path.c_str(), bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    FeatureMatrix features;
    features.frameNum = static_cast<int32_t>(readBe32(p));
    features.framePeriod = static_cast<int32_t>(readBe32(p + 4));
    const uint16_t frameBytes = readBe16(p + 8);
    features.paramKind = readBe16(p + 10);
    features.vecSize = frameBytes / 4;
    const uint64_t values = static_cast<uint64_t>(features.frameNum < 0 ? 0 : features.frameNum) *
                            static_cast<uint64_t>(features.vecSize);
    if (features.frameNum < 0 || frameBytes % 4 != 0 || frameBytes == 0 ||
        bytes.size() != HTK_HEADER_BYTES + 4 * values)
        fatalError("%s is not a parameter file of float frames: header and size disagree", path.c_str());
    features.data.resize(values);
    for (size_t i = 0; i < values; ++i) {
        uint32_t raw = readBe32(p + HTK_HEADER_BYTES + 4 * i);
        std::memcpy(&features.data[i], &raw, sizeof raw);
    }
    return features;
}
