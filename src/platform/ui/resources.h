// The resource root (skin folder) and its index "res.xml", which maps names such as XML_MAIN
// to files under the root.
#pragma once

#include <QString>
#include <filesystem>
#include <map>
#include <mutex>

namespace velqa::platform::ui {

class Resources {
  public:
    static Resources& instance();

    // Sets the folder that layouts, images and language files are resolved under.
    void set_resource_path(const std::filesystem::path& root);
    std::filesystem::path resource_path() const;

    // Reads the index (a file under the root). False when it is missing or malformed; the
    // previous entries are dropped either way, so names then resolve as plain paths.
    bool load_resource(const QString& index_file);

    // The file for a layout or image name: an index entry when there is one, else the name as a
    // path under the root (backslashes taken as folder separators).
    std::filesystem::path resolve(const QString& name) const;

    // All names in the index (for tests and tools).
    std::map<QString, QString> entries() const;

    // The style sheet named "STYLE" in the index with url(...) paths made absolute; empty when
    // there is none.
    QString style_sheet() const;

  private:
    mutable std::mutex mutex_;
    std::filesystem::path root_;
    std::map<QString, QString> entries_;
};

// Parses an image attribute such as "file='power/WIFI_down.png'" (or a bare file name) and
// returns the absolute path under the resource root; empty for an empty attribute.
QString image_path_from_attribute(const QString& attribute);

}  // namespace velqa::platform::ui
