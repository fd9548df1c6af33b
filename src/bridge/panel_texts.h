#pragma once

namespace norvex {

// Texts the worker puts on the panel (UTF-8, shown exactly as written).
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
