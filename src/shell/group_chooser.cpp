#include "shell/group_chooser.h"

namespace norvex {

std::vector<std::string> GroupChooserItems(const std::vector<GroupRecord>& groups) {
    std::vector<std::string> items;
    items.reserve(groups.size() + 1);
    for (const GroupRecord& g : groups) items.push_back(g.id + "(" + g.name + ")");
    items.emplace_back(kAddGroupItem);
    return items;
}

GroupPick GroupChooser::Pick(int item) {
    if (item < 0 || item >= ItemCount()) return GroupPick::kNothing;
    if (item == ItemCount() - 1) return GroupPick::kOpenLogin;
    if (item == index_) return GroupPick::kNothing;
    index_ = item;
    return GroupPick::kChanged;
}

int GroupChooser::LoginAccepted(GroupRecord group) {
    config_.groups.push_back(std::move(group));
    index_ = static_cast<int>(config_.groups.size()) - 1;
    return index_;
}

const GroupRecord* GroupChooser::DetailsGroup() const {
    if (index_ < 0 || index_ >= static_cast<int>(config_.groups.size())) return nullptr;
    return &config_.groups[static_cast<size_t>(index_)];
}

}  // namespace norvex
