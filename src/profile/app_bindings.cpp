#include "profile/app_bindings.h"

#include <utility>

// Placeholder so that the window side can build against the interface; the store follows.
namespace velqa::profile {

AppBindings::AppBindings(std::filesystem::path profile_folder)
    : folder_(std::move(profile_folder)) {}

BindingResult AppBindings::load() {
    return {};
}
bool AppBindings::changed_on_disk() const {
    return false;
}
std::string AppBindings::bound_uuid(std::string_view) const {
    return {};
}
std::vector<std::string> AppBindings::apps_of(std::string_view) const {
    return {};
}
BindingResult AppBindings::bind(const std::string&, const std::string&) {
    return {BindingStatus::WriteFailed, "not built yet"};
}
BindingResult AppBindings::unbind(const std::string&, const std::string&) {
    return {BindingStatus::WriteFailed, "not built yet"};
}
BindingResult AppBindings::set_default(const std::string&) {
    return {BindingStatus::WriteFailed, "not built yet"};
}
BindingResult AppBindings::set_auto_switch(bool) {
    return {BindingStatus::WriteFailed, "not built yet"};
}
BindingResult AppBindings::forget(const std::string&) {
    return {BindingStatus::WriteFailed, "not built yet"};
}

}  // namespace velqa::profile
