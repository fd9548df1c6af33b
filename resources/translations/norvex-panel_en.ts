<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>ShellTexts</name>
    <message>
        <source>启动服务</source>
        <translation>Start service</translation>
    </message>
    <message>
        <source>正在启动...</source>
        <translation>Starting...</translation>
    </message>
    <message>
        <source>正在停止...</source>
        <translation>Stopping...</translation>
    </message>
    <message>
        <source>服务正在运行，是否要停止？</source>
        <translation>The service is running. Stop it?</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Prompt</translation>
    </message>
    <message>
        <source>Group:%s(%s) ID或密码不对！或者网络错误！</source>
        <translation>Group:%s(%s) wrong ID or password, or a network error!</translation>
    </message>
    <message>
        <source>获取列表失败</source>
        <translation>Could not get the device list</translation>
    </message>
    <message>
        <source>没有可用的RS485设备群，请先添加设备群：[..添加已有的群..]</source>
        <translation>No RS485 device group available. Add a group first: [..Add an existing group..]</translation>
    </message>
    <message>
        <source>系统错误！程序将关闭</source>
        <translation>System error! The program will close</translation>
    </message>
    <message>
        <source>运行中，点击停止</source>
        <translation>Running, click to stop</translation>
    </message>
    <message>
        <source>已停止，点击运行</source>
        <translation>Stopped, click to run</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>网络故障,重连中..</source>
        <translation>Network fault, reconnecting..</translation>
    </message>
    <message>
        <source>网络侧串口(%s)打开错误,请检查:&#13;
1.网络侧串口是否选择正确。&#13;
2.是否重复打开该程序。&#13;
3.是否其它软件打开该串口端口。</source>
        <translation>Network-side serial port (%s) could not be opened. Please check:&#13;
1. Is the right network-side port chosen?&#13;
2. Is this program already running?&#13;
3. Has other software opened this port?</translation>
    </message>
    <message>
        <source>网络侧串口(%s)读写错误或已断开,服务已停止。</source>
        <translation>Network-side serial port (%s) failed or was disconnected; the service has stopped.</translation>
    </message>
    <message>
        <source>分组ID(%s)无效,服务无法启动。</source>
        <translation>Group ID (%s) is invalid; the service cannot start.</translation>
    </message>
    <message>
        <source>服务正在运行中，请先停止服务，再关闭程序</source>
        <translation>The service is running. Stop the service first, then close the program</translation>
    </message>
    <message>
        <source>电脑错误：配置保存失败！原配置文件未被改动，程序未关闭。</source>
        <translation>Computer error: the configuration could not be saved! The configuration file is unchanged and the program stays open.</translation>
    </message>
    <message>
        <source>电脑错误：配置保存失败！</source>
        <translation>Computer error: the configuration could not be saved!</translation>
    </message>
    <message>
        <source>[..添加已有的群..]</source>
        <translation>[..Add an existing group..]</translation>
    </message>
    <message>
        <source>虚拟RS485代理服务</source>
        <translation>Virtual RS485 proxy service</translation>
    </message>
    <message>
        <source>显示主窗口(&amp;S)</source>
        <translation>&amp;Show main window</translation>
    </message>
    <message>
        <source>群ID 和 群密码 不能为空</source>
        <translation>Group ID and group password must not be empty</translation>
    </message>
    <message>
        <source>ID 或 密码 不正确！</source>
        <translation>Wrong ID or password!</translation>
    </message>
    <message>
        <source>群名称 和 群密码 不能为空</source>
        <translation>Group name and group password must not be empty</translation>
    </message>
    <message>
        <source>密码不一致</source>
        <translation>The passwords do not match</translation>
    </message>
    <message>
        <source>密码长度不能小于6</source>
        <translation>The password must be at least 6 characters</translation>
    </message>
    <message>
        <source>密码必须为：数字 或 大小写字母!</source>
        <translation>The password may contain only digits or upper- and lower-case letters!</translation>
    </message>
    <message>
        <source>新建失败，请稍后再试</source>
        <translation>Creation failed, please try again later</translation>
    </message>
    <message>
        <source>新建成功，群ID：%s
绑定未能确认，请记下群ID</source>
        <translation>Created, group ID: %s
The binding could not be confirmed; please note the group ID</translation>
    </message>
    <message>
        <source>Onenet平台设备注册错：返回错误码</source>
        <translation>OneNET device registration error: an error code was returned</translation>
    </message>
    <message>
        <source>Onenet平台设备注册错：返回错误字符串</source>
        <translation>OneNET device registration error: an error string was returned</translation>
    </message>
    <message>
        <source>Onenet平台设备注册错：返回错误数据</source>
        <translation>OneNET device registration error: unusable data was returned</translation>
    </message>
    <message>
        <source>Onenet平台设备注册错：找不到API_KEY</source>
        <translation>OneNET device registration error: no API_KEY found</translation>
    </message>
    <message>
        <source>Onenet平台设备注册错：找不到Device ID</source>
        <translation>OneNET device registration error: no Device ID found</translation>
    </message>
    <message>
        <source>获取详情信息失败</source>
        <translation>Could not get the group details</translation>
    </message>
    <message>
        <source>登录到RS485设备群</source>
        <translation>Log in to an RS485 device group</translation>
    </message>
    <message>
        <source>新建RS485设备群</source>
        <translation>New RS485 device group</translation>
    </message>
    <message>
        <source>群详情</source>
        <translation>Group details</translation>
    </message>
</context>
<context>
    <name>norvex::MainWindow</name>
    <message>
        <source>虚拟RS485网络代理服务器-控制面板(V1.10)</source>
        <translation>Virtual RS485 Network Proxy Server - Control Panel (V1.10)</translation>
    </message>
    <message>
        <source>数据监视(&amp;M)...</source>
        <translation>Data &amp;monitor...</translation>
    </message>
    <message>
        <source>网络侧串口</source>
        <translation>Net port</translation>
    </message>
    <message>
        <source>应用端串口</source>
        <translation>App port</translation>
    </message>
    <message>
        <source>当前使用的RS485设备群：</source>
        <translation>Device group in use:</translation>
    </message>
    <message>
        <source>详情</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>发往群 %1 字节 %2 包；来自群 %3 字节 %4 包；丢弃重复 %5、过时 %6、无接收方 %7 字节</source>
        <translation>to group %1 B in %2 pkt; from group %3 B in %4 pkt; dropped %5 duplicate, %6 late, %7 B with no listener</translation>
    </message>
    <message>
        <source>，放弃缺失 %1 包</source>
        <translation>, %1 missing given up</translation>
    </message>
    <message>
        <source>，过期 %1 字节</source>
        <translation>, %1 B stale</translation>
    </message>
    <message>
        <source>；重连 %1 次；</source>
        <translation>; %1 reconnects; </translation>
    </message>
    <message>
        <source>从未连接</source>
        <translation>never connected</translation>
    </message>
    <message>
        <source>上次连接于 %1 秒前</source>
        <translation>last connect %1 s ago</translation>
    </message>
    <message>
        <source>，现已断开</source>
        <translation>, now disconnected</translation>
    </message>
</context>
<context>
    <name>norvex::AboutBox</name>
    <message>
        <source>关于 NorvexPanel(&amp;A)...</source>
        <translation>&amp;About NorvexPanel...</translation>
    </message>
    <message>
        <source>关于 NorvexPanel</source>
        <translation>About NorvexPanel</translation>
    </message>
    <message>
        <source>NorvexPanel，1.0 版</source>
        <translation>NorvexPanel, version 1.0</translation>
    </message>
    <message>
        <source>虚拟RS485网络代理服务器-控制面板</source>
        <translation>RS485 proxy control panel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>norvex::LoginDialog</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>新建...</source>
        <translation>New...</translation>
    </message>
    <message>
        <source>群ID</source>
        <translation>Group ID</translation>
    </message>
    <message>
        <source>群密码</source>
        <translation>Password</translation>
    </message>
</context>
<context>
    <name>norvex::NewGroupDialog</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>群名称</source>
        <translation>Group name</translation>
    </message>
    <message>
        <source>群密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>确认密码</source>
        <translation>Confirm password</translation>
    </message>
</context>
<context>
    <name>norvex::DetailsDialog</name>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>群ID</source>
        <translation>Group ID</translation>
    </message>
    <message>
        <source>群名称</source>
        <translation>Group name</translation>
    </message>
    <message>
        <source>建立时间</source>
        <translation>Created</translation>
    </message>
</context>
<context>
    <name>norvex::MonitorWindow</name>
    <message>
        <source>NorvexPanel 数据监视</source>
        <translation>NorvexPanel data monitor</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>保存…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>丢弃：%1</source>
        <translation>dropped: %1</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
</context>
</TS>
