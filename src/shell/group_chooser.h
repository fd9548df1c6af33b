#pragma once
#include <string>
#include <vector>

#include "shell/panel_config.h"

namespace norvex {

// The group chooser's last item, always present.
inline constexpr char kAddGroupItem[] = "[..添加已有的群..]";

// "id(name)" per group in list order, then kAddGroupItem.
std::vector<std::string> GroupChooserItems(const std::vector<GroupRecord>& groups);

// What a selection change in the group chooser asks for.
enum class GroupPick {
    kNothing,    // no selection, or the current group again
    kChanged,    // another group became current
    kOpenLogin,  // the add item: run the login dialog, then LoginAccepted or LoginCancelled
};

// The group chooser's decisions: which group is current and what the chooser selects.  It
// works on the window's configuration, which it extends when a login succeeds.
class GroupChooser {
public:
    explicit GroupChooser(PanelConfig& config)
        : config_(config), index_(ChooseCurrentGroup(config)) {}

    int GroupIndex() const { return index_; }
    int ItemCount() const { return static_cast<int>(config_.groups.size()) + 1; }
    std::vector<std::string> Items() const { return GroupChooserItems(config_.groups); }

    GroupPick Pick(int item);
    // Appends the group (also when its ID is listed already) and makes it current; the chooser
    // is refilled from Items() and selects the returned item.
    int LoginAccepted(GroupRecord group);
    // The chooser goes back to the current group's item (-1: no selection).
    int LoginCancelled() const { return index_; }

    // The group the Details button shows, or nullptr when there is none.
    const GroupRecord* DetailsGroup() const;

private:
    PanelConfig& config_;
    int index_;
};

}  // namespace norvex
