#pragma once

namespace norvex {

// Texts of the start/stop control (UTF-8, shown exactly as written).
inline constexpr char kTextStartService[] = "启动服务";
inline constexpr char kTextStarting[] = "正在启动...";
inline constexpr char kTextStopping[] = "正在停止...";
inline constexpr char kTextStopQuestion[] = "服务正在运行，是否要停止？";
inline constexpr char kCaptionPrompt[] = "提示";
// %s: the group's id, then its name.
inline constexpr char kTextGroupRejected[] = "Group:%s(%s) ID或密码不对！或者网络错误！";
inline constexpr char kTextDeviceListFailed[] = "获取列表失败";
inline constexpr char kTextNoGroup[] = "没有可用的RS485设备群，请先添加设备群：[..添加已有的群..]";
inline constexpr char kTextSystemError[] = "系统错误！程序将关闭";

}  // namespace norvex
