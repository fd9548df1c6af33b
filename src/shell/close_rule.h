#pragma once
#include <functional>
#include <string>

#include "shell/config_file.h"

namespace norvex {

inline constexpr char kTextCloseWhileRunning[] = "服务正在运行中，请先停止服务，再关闭程序";
// The save failed after the file was opened: the old file is still there, and the window stays
// open so that the user's changes are not lost unannounced.
inline constexpr char kTextConfigWriteFailed[] =
    "电脑错误：配置保存失败！原配置文件未被改动，程序未关闭。";

// What a close request of the main window comes to.
struct CloseOutcome {
    bool close = false;
    std::string message;  // a box to show first (empty: none)
};

// The close rule.  A run that is starting, running or stopping refuses the close and nothing is
// saved; otherwise `save` writes the configuration: a file that cannot be created is reported
// and the window closes all the same; a write that failed half-way keeps the window open.
CloseOutcome DecideClose(bool runActive, const std::function<ConfigSaveResult()>& save);

}  // namespace norvex
