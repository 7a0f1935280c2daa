#include "profile/profile_completion.h"

#include "profile/json_access.h"

namespace velqa::profile {

namespace {

const char* kind_of(const Json::Value& value) {
    switch (value.type()) {
        case Json::nullValue:
            return "missing";
        case Json::objectValue:
            return "(object)";
        case Json::arrayValue:
            return "(array)";
        case Json::stringValue:
            return "(text)";
        case Json::booleanValue:
            return "(boolean)";
        default:
            return "(number)";
    }
}

void complete(Json::Value& target, const Json::Value& factory, const std::string& where,
              std::vector<std::string>& out) {
    const bool container = factory.isObject() || factory.isArray();
    if (factory.isNull() || (!target.isNull() && !container))
        return;
    if (target.isNull() || target.type() != factory.type()) {
        out.push_back(where + ": " + kind_of(target) + " -> factory profile");
        target = factory;
        return;
    }
    if (factory.isObject()) {
        for (const std::string& key : factory.getMemberNames()) {
            if (!factory[key].isNull())  // nothing to take; the member is not added
                complete(target[key], factory[key], where + "." + key, out);
        }
    } else {
        for (Json::ArrayIndex i = 0; i < factory.size(); ++i) {
            if (!factory[i].isNull())
                complete(target[i], factory[i], where + "[" + std::to_string(i) + "]", out);
        }
    }
}

bool savable(const Json::Value& section) {
    return section.isObject() && !member(section, "KeyList").isNull();
}

}  // namespace

std::vector<std::string> complete_from_factory(Json::Value& document, const Json::Value& factory) {
    std::vector<std::string> out;
    const Json::Value& sections = member(factory, "Device");
    if (!document.isObject() || !sections.isArray())
        return out;
    complete(document["Device"], sections, "Device", out);
    return out;
}

std::string unsavable_sections(const Json::Value& document, const Json::Value& factory) {
    const Json::Value& sections = member(document, "Device");
    const Json::Value& factory_sections = member(factory, "Device");
    if (factory_sections.isArray()) {
        for (Json::ArrayIndex i = 0; i < factory_sections.size(); ++i) {
            if (factory_sections[i].isObject() && !savable(element(sections, i)))
                return "its device section " + std::to_string(i) + " has no \"KeyList\"";
        }
        return {};
    }
    bool any = false;
    for (Json::ArrayIndex i = 0; sections.isArray() && i < sections.size(); ++i) {
        if (sections[i].isNull())
            continue;
        if (!savable(sections[i]))
            return "its device section " + std::to_string(i) +
                   " has no \"KeyList\" and the factory profile to complete it is unreadable";
        any = true;
    }
    return any ? std::string() : "it has no device section and the factory profile is unreadable";
}

}  // namespace velqa::profile
