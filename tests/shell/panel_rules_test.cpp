#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "shell/close_rule.h"
#include "shell/config_location.h"
#include "shell/dialog_units.h"
#include "shell/filled_text.h"
#include "shell/panel_options.h"
#include "shell/tray_model.h"

namespace norvex {
namespace {

namespace fs = std::filesystem;

TEST(CloseRule, RefusesWhileARunIsActiveAndOtherwiseSaves) {
    struct Case {
        bool runActive;
        ConfigSaveResult save;
        bool saved, close;
        std::string message;
    } cases[] = {
        // starting, running and stopping all count as active
        {true, ConfigSaveResult::kOk, false, false, kTextCloseWhileRunning},
        {false, ConfigSaveResult::kOk, true, true, ""},
        {false, ConfigSaveResult::kCannotCreate, true, true, "电脑错误：配置保存失败！"},
        {false, ConfigSaveResult::kWriteFailed, true, false, kTextConfigWriteFailed},
    };
    for (const Case& c : cases) {
        bool saved = false;
        CloseOutcome out = DecideClose(c.runActive, [&] {
            saved = true;
            return c.save;
        });
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(out.close, c.close);
        EXPECT_EQ(out.message, c.message);
    }
}

TEST(DialogUnits, ConvertWithTheFontsAverageWidthAndHeight) {
    EXPECT_EQ(AverageCharWidth(364), 7);  // 364/26 = 14 -> 7
    EXPECT_EQ(AverageCharWidth(339), 7);  // 13 -> (13+1)/2
    DialogBaseUnits base{7, 16};
    EXPECT_EQ(ToPixels(kMainClientUnits, base), (UnitRect{0, 0, 754, 230}));
    EXPECT_EQ(ToPixels(MainControlUnits(MainControl::kRelayList), base),
              (UnitRect{336, 24, 406, 192}));
    EXPECT_EQ(HorizontalPixels(1, {6, 13}), 2);  // 1.5 rounds up
    EXPECT_EQ(VerticalPixels(3, {6, 13}), 5);    // 4.875
    EXPECT_EQ(HorizontalPixels(5, {0, 0}), 0);
}

TEST(DialogUnits, MainWindowControlsLieInsideTheClientArea) {
    for (size_t i = 0; i < kMainControlUnits.size(); ++i) {
        UnitRect r = kMainControlUnits[i];
        EXPECT_LE(r.x + r.width, kMainClientUnits.width) << i;
        bool chooser = i == 1 || i == 3 || i == 5;  // their height includes the opened list
        if (!chooser) {
            EXPECT_LE(r.y + r.height, kMainClientUnits.height) << i;
        }
    }
}

TEST(ConfigLocation, FollowsXdgConfigHomeThenHome) {
    EXPECT_EQ(UserPanelConfigPath("/x/cfg", "/home/u"), "/x/cfg/norvex/NorvexPanel.cfg");
    EXPECT_EQ(UserPanelConfigPath("/x/cfg/", "/home/u"), "/x/cfg/norvex/NorvexPanel.cfg");
    EXPECT_EQ(UserPanelConfigPath("", "/home/u"), "/home/u/.config/norvex/NorvexPanel.cfg");
    EXPECT_EQ(UserPanelConfigPath("rel/cfg", "/home/u"), "/home/u/.config/norvex/NorvexPanel.cfg");
    EXPECT_EQ(UserPanelConfigPath(nullptr, "/"), "/.config/norvex/NorvexPanel.cfg");
    EXPECT_EQ(UserPanelConfigPath(nullptr, nullptr), "");
    EXPECT_EQ(UserPanelConfigPath(nullptr, "relative"), "");
}

TEST(ConfigLocation, CreatesMissingDirectoriesPrivateAndLeavesExistingOnes) {
    char tmpl[] = "/tmp/norvex-cfgdir-XXXXXX";
    fs::path root = ::mkdtemp(tmpl);
    ::chmod(root.c_str(), 0755);
    std::string file = (root / "a/norvex/NorvexPanel.cfg").string();
    ::umask(022);
    ASSERT_TRUE(EnsureConfigDirectory(file));
    ASSERT_TRUE(EnsureConfigDirectory(file));  // again: already there
    struct stat st {};
    ASSERT_EQ(::stat((root / "a/norvex").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(root.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    // a plain file where the directory should be
    std::string blocked = (root / "a/norvex/NorvexPanel.cfg/x.cfg").string();
    ::close(::creat((root / "a/norvex/NorvexPanel.cfg").c_str(), 0600));
    EXPECT_FALSE(EnsureConfigDirectory(blocked));
    fs::remove_all(root);
}

TEST(PanelOptions, EnglishOnlyForAnEnglishDesktop) {
    const auto zh = PanelLanguage::kChinese, en = PanelLanguage::kEnglish;
    struct Case {
        const char *language, *lcAll, *lcMessages, *lang;
        PanelLanguage expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, nullptr, zh},           // nothing set: the C locale
        {nullptr, nullptr, nullptr, "C", zh},               //
        {nullptr, nullptr, nullptr, "C.UTF-8", zh},         //
        {nullptr, nullptr, nullptr, "en_GB.UTF-8", en},     //
        {nullptr, nullptr, nullptr, "zh_CN.UTF-8", zh},     //
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", zh},     // no German: the texts' own
        {nullptr, nullptr, "en_US.UTF-8", "zh_CN", en},     // LC_MESSAGES before LANG
        {nullptr, "zh_TW.UTF-8", "en_US.UTF-8", "en", zh},  // LC_ALL before both
        {nullptr, "", "", "en_US.UTF-8", en},               // empty is unset
        {"en_US", nullptr, nullptr, "zh_CN.UTF-8", en},     // LANGUAGE first
        {"de:en", nullptr, nullptr, "zh_CN.UTF-8", en},     // its first entry with texts
        {"zh_CN:en", nullptr, nullptr, "en_US.UTF-8", zh},  //
        {"fr", nullptr, nullptr, "en_US.UTF-8", zh},        // none with texts: the source
        {"", nullptr, nullptr, "en_US.UTF-8", en},          // empty LANGUAGE is unset
        {"en", "C", nullptr, nullptr, zh},                  // the C locale ignores LANGUAGE
        {"en", nullptr, nullptr, "POSIX", zh},              //
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChoosePanelLanguage(c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.language ? c.language : "-") << " " << (c.lcAll ? c.lcAll : "-") << " "
            << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
    }
}

TEST(FilledText, TemplateAndValuesComeBack) {
    const std::string_view patterns[] = {"Group:%s(%s) ID或密码不对！", "串口(%s)打开错误", "未知"};
    struct Case {
        const char* text;
        const char* pattern;  // nullptr: no match
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"Group:7(g1) ID或密码不对！", "Group:%s(%s) ID或密码不对！", {"7", "g1"}},
        {"Group:(g) ID或密码不对！", "Group:%s(%s) ID或密码不对！", {"", "g"}},
        {"串口(/dev/tnt0)打开错误", "串口(%s)打开错误", {"/dev/tnt0"}},
        {"串口(/dev/tnt0)打开错", nullptr, {}},   // the tail differs
        {"未知", nullptr, {}},                    // no mark: not a filled text
        {"Group:7 ID或密码不对！", nullptr, {}},  // a literal between the marks is missing
    };
    for (const Case& c : cases) {
        std::optional<FilledText> m = MatchFilledText(c.text, patterns);
        ASSERT_EQ(m.has_value(), c.pattern != nullptr) << c.text;
        if (!m) continue;
        EXPECT_EQ(m->pattern, c.pattern);
        EXPECT_EQ(m->values, c.values);
        EXPECT_EQ(FillText(m->pattern, m->values), c.text);
    }
}

TEST(PanelOptions, ConfigFileOrTheUsersDefault) {
    EXPECT_EQ(ParsePanelOptions({"--config", "/etc/n.cfg"}).configPath, "/etc/n.cfg");
    EXPECT_EQ(ParsePanelOptions({"--config=/etc/n.cfg"}).configPath, "/etc/n.cfg");
    EXPECT_FALSE(ParsePanelOptions({"--config"}).error.empty());
    EXPECT_FALSE(ParsePanelOptions({"--bogus"}).error.empty());
    EXPECT_TRUE(ParsePanelOptions({"--help"}).help);
    ::setenv("XDG_CONFIG_HOME", "/cfg-home", 1);
    EXPECT_EQ(ParsePanelOptions({}).configPath, "/cfg-home/norvex/NorvexPanel.cfg");
}

TEST(TrayModel, OneIconWhileHiddenAndNoTrayMeansAPlainMinimise) {
    TrayModel tray;
    EXPECT_FALSE(tray.OnIconActivated(TrayClick::kDouble));  // no icon yet
    EXPECT_FALSE(tray.OnRestoreChosen());
    EXPECT_TRUE(tray.OnMinimised(true));
    EXPECT_FALSE(tray.OnMinimised(true));  // never a second icon
    EXPECT_TRUE(tray.InTray());
    EXPECT_TRUE(tray.OnRestoreChosen());
    EXPECT_FALSE(tray.InTray());
    EXPECT_FALSE(tray.OnRestoreChosen());
    EXPECT_TRUE(tray.OnMinimised(true));  // and again

    TrayModel noTray(TrayHost::kActivationOnly);
    EXPECT_FALSE(noTray.OnMinimised(false));
    EXPECT_FALSE(noTray.InTray());
    EXPECT_FALSE(noTray.OnIconActivated(TrayClick::kSingle));
}

// Which touch of the icon restores the window, by the kind of tray.
TEST(TrayModel, XEmbedRestoresOnADoubleClickAnActivationOnlyHostOnAnyActivation) {
    struct Case {
        TrayHost host;
        TrayClick click;
        bool restores;
    };
    const Case cases[] = {
        {TrayHost::kXEmbed, TrayClick::kSingle, false},
        {TrayHost::kXEmbed, TrayClick::kOther, false},
        {TrayHost::kXEmbed, TrayClick::kDouble, true},
        {TrayHost::kActivationOnly, TrayClick::kSingle, true},
        {TrayHost::kActivationOnly, TrayClick::kOther, false},
        {TrayHost::kActivationOnly, TrayClick::kDouble, true},
    };
    for (const Case& c : cases) {
        TrayModel tray(c.host);
        ASSERT_TRUE(tray.OnMinimised(true));
        EXPECT_EQ(tray.OnIconActivated(c.click), c.restores)
            << static_cast<int>(c.host) << "/" << static_cast<int>(c.click);
        EXPECT_EQ(tray.InTray(), !c.restores);
        if (c.restores) {
            EXPECT_FALSE(tray.OnIconActivated(c.click));  // the icon is gone
        }
    }
}

TEST(BalloonGate, DropsTheSameBalloonWhileItShows) {
    BalloonGate gate;
    EXPECT_TRUE(gate.Admit("警告", "网络故障,重连中..", 1000));
    EXPECT_FALSE(gate.Admit("警告", "网络故障,重连中..", 2000));
    EXPECT_TRUE(gate.Admit("警告", "other", 2500));
    EXPECT_FALSE(gate.Admit("警告", "other", 2500 + kBalloonShowMs - 1));
    EXPECT_TRUE(gate.Admit("警告", "other", 2500 + kBalloonShowMs));
    // the tick counter wraps
    EXPECT_TRUE(gate.Admit("a", "b", 0xFFFFFF00u));
    EXPECT_FALSE(gate.Admit("a", "b", 0x00000100u));
    gate.Reset();
    EXPECT_TRUE(gate.Admit("a", "b", 0x00000200u));
}

}  // namespace
}  // namespace norvex
