#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "shell/group_chooser.h"
#include "shell/port_chooser.h"
#include "support/text_file.h"

namespace norvex {
namespace {

std::vector<SerialPortEntry> Ports(std::initializer_list<const char*> names) {
    std::vector<SerialPortEntry> ports;
    for (const char* n : names) ports.push_back({"drv", n});
    return ports;
}

TEST(PortChooser, SelectsTheLastExactMatchOrNothing) {
    struct Case {
        std::vector<SerialPortEntry> ports;
        std::string stored;
        int selected;
    } cases[] = {
        {Ports({"/dev/ttyUSB0", "/dev/ttyUSB1"}), "/dev/ttyUSB1", 1},
        {Ports({"/tmp/a", "/tmp/b", "/tmp/a"}), "/tmp/a", 2},  // duplicates: the last one
        {Ports({"/dev/ttyUSB0"}), "/dev/ttyusb0", -1},         // case matters
        {Ports({"/dev/ttyUSB0"}), "/dev/ttyUSB", -1},          // whole names only
        {Ports({"/dev/ttyUSB0"}), "", -1},
        {Ports({}), "/dev/ttyUSB0", -1},
    };
    for (const Case& c : cases) {
        PortChooserFill fill = FillPortChooser(c.ports, c.stored);
        EXPECT_EQ(fill.selected, c.selected) << c.stored;
        ASSERT_EQ(fill.items.size(), c.ports.size());
        for (size_t i = 0; i < c.ports.size(); ++i) EXPECT_EQ(fill.items[i], c.ports[i].portName);
    }
}

TEST(PortChooser, OffersTheVirtualPortLastWhenGiven) {
    EXPECT_EQ(VirtualPortItem("/run/user/1000", 1000), "pty:/run/user/1000/norvex/ttyNorvex0");
    EXPECT_EQ(VirtualPortItem("", 1000), "pty:/tmp/norvex-1000/ttyNorvex0");
    EXPECT_EQ(VirtualPortItem(nullptr, 0), "pty:/tmp/norvex-0/ttyNorvex0");
    const std::string pty = "pty:/run/user/7/norvex/ttyNorvex0";
    struct Case {
        std::string stored;
        int selected;
    } cases[] = {{pty, 2}, {"/dev/ttyUSB1", 1}};
    for (const Case& c : cases) {
        PortChooserFill fill =
            FillPortChooser(Ports({"/dev/ttyUSB0", "/dev/ttyUSB1"}), c.stored, pty);
        EXPECT_EQ(fill.items, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1", pty}));
        EXPECT_EQ(fill.selected, c.selected) << c.stored;
    }
}

// A stored name may be the stable link, the kernel node behind it, or another link to that
// node; exact names win over the same node.
TEST(PortChooser, StoredKernelNameOrLinkSelectsThePortListedUnderItsStableName) {
    namespace fs = std::filesystem;
    test::TempDir tmp;
    const std::string usb = tmp.File("ttyUSB0"), uart = tmp.File("ttyS0");
    const std::string byId = tmp.File("by-id/usb-FTDI_A1"), byPath = tmp.File("by-path/pci-1");
    std::ofstream(usb).put('\n');
    std::ofstream(uart).put('\n');
    fs::create_directories(tmp.File("by-id"));
    fs::create_directories(tmp.File("by-path"));
    fs::create_symlink("../ttyUSB0", byId);
    fs::create_symlink("../ttyUSB0", byPath);
    fs::create_symlink("ttyS0", tmp.File("uart-link"));
    fs::create_symlink("ttyUSB9", tmp.File("gone-link"));

    const std::vector<SerialPortEntry> stable = {{"ftdi_sio", byId, usb}, {"serial8250", uart}};
    const std::vector<SerialPortEntry> both = {{"ftdi_sio", byId, usb}, {usb, usb}};
    struct Case {
        const std::vector<SerialPortEntry>& ports;
        std::string stored;
        int selected;
    } cases[] = {
        {stable, byId, 0},
        {stable, usb, 0},
        {stable, byPath, 0},
        {stable, uart, 1},
        {stable, tmp.File("uart-link"), 1},
        {stable, tmp.File("ttyUSB9"), -1},
        {stable, tmp.File("gone-link"), -1},
        {both, usb, 1},
        {both, byId, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FillPortChooser(c.ports, c.stored).selected, c.selected) << c.stored;
    }
    PortChooserFill fill = FillPortChooser(stable, usb, "pty:/tmp/x");
    EXPECT_EQ(fill.items, (std::vector<std::string>{byId, uart, "pty:/tmp/x"}));
    EXPECT_EQ(fill.toolTips, (std::vector<std::string>{usb, "", ""}));
}

PanelConfig TwoGroups(const std::string& stored) {
    PanelConfig c;
    c.storedGroupId = stored;
    c.groups = {{"101", "pump", "pw1"}, {"202", "tank", "pw2"}};
    return c;
}

TEST(GroupChooser, ItemsAreIdWithNameThenTheAddItemLast) {
    PanelConfig c = TwoGroups("202");
    GroupChooser chooser(c);
    EXPECT_EQ(chooser.Items(),
              (std::vector<std::string>{"101(pump)", "202(tank)", "[..添加已有的群..]"}));
    EXPECT_EQ(chooser.GroupIndex(), 1);
    PanelConfig empty;
    GroupChooser none(empty);
    EXPECT_EQ(none.Items(), (std::vector<std::string>{"[..添加已有的群..]"}));
    EXPECT_EQ(none.GroupIndex(), -1);
    EXPECT_EQ(none.DetailsGroup(), nullptr);
}

TEST(GroupChooser, PicksGroupsAndOpensTheLoginForTheLastItem) {
    PanelConfig c = TwoGroups("101");
    GroupChooser chooser(c);
    EXPECT_EQ(chooser.Pick(0), GroupPick::kNothing);  // the current one again
    EXPECT_EQ(chooser.Pick(-1), GroupPick::kNothing);
    EXPECT_EQ(chooser.Pick(3), GroupPick::kNothing);  // past the end
    EXPECT_EQ(chooser.GroupIndex(), 0);
    EXPECT_EQ(chooser.Pick(1), GroupPick::kChanged);
    EXPECT_EQ(chooser.GroupIndex(), 1);
    EXPECT_EQ(chooser.DetailsGroup()->id, "202");
    EXPECT_EQ(chooser.Pick(2), GroupPick::kOpenLogin);
    EXPECT_EQ(chooser.GroupIndex(), 1);  // unchanged until the login ends
}

TEST(GroupChooser, CancelledLoginRestoresThePreviousSelectionAlsoWhenNone) {
    PanelConfig c = TwoGroups("202");
    GroupChooser chooser(c);
    ASSERT_EQ(chooser.Pick(2), GroupPick::kOpenLogin);
    EXPECT_EQ(chooser.LoginCancelled(), 1);
    EXPECT_EQ(c.groups.size(), 2u);

    PanelConfig empty;
    GroupChooser none(empty);
    ASSERT_EQ(none.Pick(0), GroupPick::kOpenLogin);
    EXPECT_EQ(none.LoginCancelled(), -1);
    EXPECT_TRUE(empty.groups.empty());
}

TEST(GroupChooser, AGroupLoggedInAgainIsAddedAgainAndBecomesCurrent) {
    PanelConfig c = TwoGroups("101");
    GroupChooser chooser(c);
    ASSERT_EQ(chooser.Pick(2), GroupPick::kOpenLogin);
    EXPECT_EQ(chooser.LoginAccepted({"101", "pump", "pw9"}), 2);
    EXPECT_EQ(chooser.GroupIndex(), 2);
    EXPECT_EQ(chooser.Items(), (std::vector<std::string>{"101(pump)", "202(tank)", "101(pump)",
                                                         "[..添加已有的群..]"}));
    EXPECT_EQ(chooser.DetailsGroup()->password, "pw9");
    EXPECT_EQ(chooser.Pick(3), GroupPick::kOpenLogin);  // the add item moved down
}

}  // namespace
}  // namespace norvex
