#pragma once

namespace norvex::msg {

// Texts of the group dialogs' message boxes, byte for byte.
inline constexpr const char* kLoginEmpty = "群ID 和 群密码 不能为空";
inline constexpr const char* kLoginWrong = "ID 或 密码 不正确！";
inline constexpr const char* kNewGroupEmpty = "群名称 和 群密码 不能为空";
inline constexpr const char* kPasswordMismatch = "密码不一致";
inline constexpr const char* kPasswordTooShort = "密码长度不能小于6";
inline constexpr const char* kPasswordChars = "密码必须为：数字 或 大小写字母!";
inline constexpr const char* kCreateFailed = "新建失败，请稍后再试";
// A created group whose bind the service never answered: head, the group ID, tail.
inline constexpr const char* kBindUnconfirmedHead = "新建成功，群ID：";
inline constexpr const char* kBindUnconfirmedTail = "\n绑定未能确认，请记下群ID";
inline constexpr const char* kRegBadErrno = "Onenet平台设备注册错：返回错误码";
inline constexpr const char* kRegBadError = "Onenet平台设备注册错：返回错误字符串";
inline constexpr const char* kRegNoData = "Onenet平台设备注册错：返回错误数据";
inline constexpr const char* kRegNoKey = "Onenet平台设备注册错：找不到API_KEY";
inline constexpr const char* kRegNoDeviceId = "Onenet平台设备注册错：找不到Device ID";
inline constexpr const char* kDetailsFailed = "获取详情信息失败";
inline constexpr const char* kDeviceListFailed = "获取列表失败";

// Dialog captions.
inline constexpr const char* kLoginCaption = "登录到RS485设备群";
inline constexpr const char* kNewGroupCaption = "新建RS485设备群";
inline constexpr const char* kDetailsCaption = "群详情";

}  // namespace norvex::msg
