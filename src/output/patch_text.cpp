#include "patch_text.h"

#include <array>

#include "decoding/patch_schema.h"
#include "lossy_utf8.h"

namespace quvane {
namespace {

// After this many entities the list is cut with a "* ......" line.
constexpr std::size_t shown_entities = 9;

// Writes labelled lines; the labels and words are ours, the values the daemon's.
class Lines {
  public:
    explicit Lines(Shown how) : how_(how) {}

    Lines& label(std::string_view label) {
        text_.append(label);
        return *this;
    }
    Lines& value(std::string_view value) {
        append_shown(text_, value, how_);
        return *this;
    }
    Lines& end() {
        text_.push_back('\n');
        return *this;
    }
    std::string take() { return std::move(text_); }

  private:
    Shown how_;
    std::string text_;
};

}  // namespace

std::string to_text(const PatchInfo& info, Shown how) {
    Lines lines(how);
    lines.label("name:        ").value(info.name).end();
    lines.label("version:     ").value(info.version).end();
    lines.label("release:     ").label(std::to_string(info.release)).end();
    lines.label("arch:        ").value(info.arch).end();
    lines.label("type:        ").label(json_name(info.kind)).end();
    lines.label("depends:     ").value(info.depends).end();
    lines.label("target:      ").value(info.target.name).label("-").value(info.target.version);
    lines.label("-").value(info.target.release).end();
    lines.label("license:     ").value(info.target.license).end();
    lines.label("description: ").value(info.description).end();
    for (const auto& [key, value] : info.others) {
        lines.value(key).label(": ").value(value).end();
    }
    if (!info.entities.empty()) {
        lines.label("entities:").end();
        const std::size_t count = std::min(info.entities.size(), shown_entities);
        for (std::size_t i = 0; i < count; ++i) {
            lines.label("* ").value(to_text_lossy(info.entities[i].patch_name.bytes)).end();
        }
        if (info.entities.size() > shown_entities) {
            lines.label("* ......").end();
        }
    }
    return lines.take();
}

std::string to_text(const PackageInfo& package, Shown how) {
    Lines lines(how);
    lines.label("name:    ").value(package.name).end();
    lines.label("type:    ").label(json_name(package.kind)).end();
    lines.label("arch:    ").value(package.arch).end();
    lines.label("epoch:   ").value(package.epoch).end();
    lines.label("version: ").value(package.version).end();
    lines.label("release: ").value(package.release).end();
    lines.label("license: ").value(package.license);
    return lines.take();
}

}  // namespace quvane
