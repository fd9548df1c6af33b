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

// What the engine's run shows on the panel.
inline constexpr char kTextRunning[] = "运行中，点击停止";
inline constexpr char kTextStopped[] = "已停止，点击运行";
inline constexpr char kCaptionError[] = "错误";
inline constexpr char kCaptionWarning[] = "警告";
inline constexpr char kTextNetworkFault[] = "网络故障,重连中..";
// %s: the port name.
inline constexpr char kTextPortOpenFailed[] =
    "网络侧串口(%s)打开错误,请检查:\r\n1.网络侧串口是否选择正确。\r\n2.是否重复打开该程序。\r\n"
    "3.是否其它软件打开该串口端口。";
// %s: the port name.  The port failed while the service ran (adapter unplugged, line hung up).
inline constexpr char kTextPortFailed[] = "网络侧串口(%s)读写错误或已断开,服务已停止。";
// %s: the group ID.  The broker would refuse it as client identifier at every attempt.
inline constexpr char kTextBadGroupId[] = "分组ID(%s)无效,服务无法启动。";

}  // namespace norvex
