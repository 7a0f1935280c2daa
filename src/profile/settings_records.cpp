#include "profile/json_access.h"
#include "profile/profile_records.h"
#include "profile/record_fields.h"

namespace velqa::profile {

static_assert(packed_size(DpiStageFields) == DpiStage::PackedSize);

std::array<std::uint8_t, DpiStage::PackedSize> DpiStage::to_bytes() const {
    std::array<std::uint8_t, PackedSize> bytes{};
    pack_fields(DpiStageFields, *this, bytes.data());
    return bytes;
}

DpiStage DpiStage::from_bytes(const std::uint8_t* bytes) {
    return unpack_fields(DpiStageFields, bytes);
}

DpiStage decode_dpi_stage(const Json::Value& object) {
    return decode_fields(DpiStageFields, object);
}

Json::Value encode_dpi_stage(const DpiStage& stage) {
    return encode_fields(DpiStageFields, stage);
}

MouseSystemSettings decode_mouse_settings(const Json::Value& section) {
    if (member(section, "SystemStages").isNull())
        return {};
    return decode_fields(MouseSettingsFields, section);
}

KeyboardSystemSettings decode_keyboard_settings(const Json::Value& section) {
    if (member(section, "SystemStages").isNull())
        return {};
    return decode_fields(KeyboardSettingsFields, section);
}

HeadsetSettings decode_headset_settings(const Json::Value& section) {
    if (member(section, "SystemSetStages").isNull())
        return {};
    return decode_fields(HeadsetSettingsFields, section);
}

EqualiserBands decode_equaliser_bands(const Json::Value& array) {
    EqualiserBands bands{};
    for (Json::ArrayIndex i = 0; i < bands.size(); ++i) {
        bands[i] = to_i32(member(element(array, i), "value"));
    }
    return bands;
}

Json::Value encode_equaliser_bands(const EqualiserBands& bands) {
    Json::Value array(Json::arrayValue);
    for (const std::int32_t band : bands) {
        Json::Value object(Json::objectValue);
        object["value"] = band;
        array.append(std::move(object));
    }
    return array;
}

}  // namespace velqa::profile
