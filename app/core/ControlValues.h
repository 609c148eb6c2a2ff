#pragma once

#include "app/core/ControlSetting.h"
#include "app/images/DepthConvention.h"
#include "host/Input.h"
#include "minihost/Host.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

struct SettingsContent;

// A value given by name, as a face's keywords or a dict's items give it; `where` names it in
// messages.
struct NamedValue {
    std::string id;
    GivenValue value;
    std::string where;
};

// Where a face's control values come from, in the order they apply after the tool's defaults, each
// replacing what came before: a settings file, ID=VALUE texts as --set takes them, values by name;
// and how the depth channel measures depth, --depth's text over the settings file's.
struct ControlSources {
    std::optional<std::string> settingsFile;
    std::vector<std::string> settings;
    std::vector<NamedValue> named;
    std::optional<std::string> depth = std::nullopt;
};

// A value for every control of the tool, in the order the tool declares them, as the command line
// sets them: defaults first, then a settings file, then --set, each replacing what came before;
// with the depth convention the frames are read with, which a settings file keeps too (z unless
// one says otherwise). A plain value: copy it, change it, render with it from any thread.
class ControlValues {
  public:
    struct Entry {
        const minihost::ControlInfo* info = nullptr; // the control's declaration
        double value = 0.0;
    };

    // The controls' values held by `controls` now: for a new operator, the tool's defaults.
    explicit ControlValues(const std::vector<Input*>& controls);

    const std::vector<Entry>& entries() const { return Entries; }
    // The value of the control spelt `id` exactly; 0 when there is none.
    double operator[](std::string_view id) const;

    const DepthConvention& depth() const { return Depth; }
    void setDepth(const DepthConvention& depth) { Depth = depth; }

    // Sets the control an identifier names, as --set finds it (any case, with a suggestion):
    // UsageError, starting with `where`, for none.
    void set(std::string_view id, double value, const std::string& where);
    // A value as typed (--set's rules: a number, on/off, an entry name).
    void setText(std::string_view id, std::string_view text, const std::string& where);
    // One --set ID=VALUE.
    void applySetting(std::string_view text);
    // A JSON object of values by identifier, as a settings file holds them; `where` names its
    // source in messages. UsageError when it is not one.
    void applyJson(std::string_view json, const std::string& where);
    // A settings file: RunError when it cannot be read, UsageError naming the file and key.
    void applySettingsFile(const std::string& path);
    // Each source in its turn, as every face composes values. UsageError naming the value that
    // is wrong, RunError for a settings file that cannot be read.
    void apply(const ControlSources& sources);

    // The values as a settings file holds them, each double to the bit, and the depth convention
    // unless it is z.
    std::string json() const;
    // Writes json() to `path` atomically. RunError, naming the file, on failure.
    void save(const std::string& path) const;

    // Gives every control of `tool` that takes a value (not a button) its value here.
    void applyTo(Operator& tool) const;

  private:
    std::vector<Input*> Controls;
    std::vector<Entry> Entries;
    DepthConvention Depth;

    Entry& entryOf(const Input* control);
    void applyContent(const SettingsContent& content);
};

} // namespace umbrix
