<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>About</name>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>KELB指纹管理版本%1</source>
        <translation>KELB Fingerprint Manager, version %1</translation>
    </message>
</context>
<context>
    <name>AddDlg</name>
    <message>
        <source>添加指纹</source>
        <translation>Add fingerprint</translation>
    </message>
    <message>
        <source>正在添加指纹，请输入用户名。</source>
        <translation>Adding a fingerprint. Please enter the user name.</translation>
    </message>
    <message>
        <source>用户名：</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>输入用户名不正确，请重新输入</source>
        <translation>The user name is not valid. Please enter it again</translation>
    </message>
</context>
<context>
    <name>ChangeInfoDlg</name>
    <message>
        <source>修改登录信息</source>
        <translation>Change login</translation>
    </message>
    <message>
        <source>输入新用户名：</source>
        <translation>New user name:</translation>
    </message>
    <message>
        <source>输入旧密码：</source>
        <translation>Old password:</translation>
    </message>
    <message>
        <source>输入新密码：</source>
        <translation>New password:</translation>
    </message>
    <message>
        <source>再次输入新密码：</source>
        <translation>Repeat new password:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>输入的密码必须是8~16位数字、字母和符号的任意组合，请重新输入</source>
        <translation>The password must be 8 to 16 characters long (any mix of digits, letters and symbols). Please enter it again</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>输入新用户名不正确，请重新输入.</source>
        <translation>The new user name is not valid. Please enter it again.</translation>
    </message>
    <message>
        <source>输入的密码不正确，请重新输入.</source>
        <translation>The password is incorrect. Please enter it again.</translation>
    </message>
    <message>
        <source>输入的密码不正确，请重新输入</source>
        <translation>The password is incorrect. Please enter it again</translation>
    </message>
    <message>
        <source>两次密码输入的不一致，请重新输入</source>
        <translation>The two new passwords do not match. Please enter them again</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>更改成功</source>
        <translation>The login has been changed.</translation>
    </message>
</context>
<context>
    <name>FingerManageDlg</name>
    <message>
        <source>指纹管理软件</source>
        <translation>Fingerprint Manager</translation>
    </message>
    <message>
        <source>设备列表：</source>
        <translation>Printers:</translation>
    </message>
    <message>
        <source>指纹认证开关</source>
        <translation>Fingerprint authentication</translation>
    </message>
    <message>
        <source>用户列表：</source>
        <translation>Users:</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>查询</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除全部</source>
        <translation>Delete all</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>指纹数据文件(*.fdl)</source>
        <translation>Fingerprint data files (*.fdl)</translation>
    </message>
    <message>
        <source>正在等待当前操作结束，结束后退出...</source>
        <translation>Waiting for the current operation to finish, then quitting...</translation>
    </message>
    <message>
        <source>指纹功能开启</source>
        <translation>Fingerprint authentication is on</translation>
    </message>
    <message>
        <source>指纹功能关闭</source>
        <translation>Fingerprint authentication is off</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>设置成功。</source>
        <translation>The setting has been changed.</translation>
    </message>
    <message>
        <source>设置失败。</source>
        <translation>The setting could not be changed.</translation>
    </message>
    <message>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>退出(&amp;Q)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>用户列表已满，请删除后重试！</source>
        <translation>The user list is full. Delete a user and try again.</translation>
    </message>
    <message>
        <source>正在添加指纹,请按下您的手指</source>
        <translation>Adding the fingerprint: please press your finger on the reader</translation>
    </message>
    <message>
        <source>添加失败,请稍后重试!</source>
        <translation>The fingerprint could not be added. Please try again later.</translation>
    </message>
    <message>
        <source>添加失败</source>
        <translation>Adding failed</translation>
    </message>
    <message>
        <source>用户已经注冊,请重新填写姓名!</source>
        <translation>This user is already enrolled. Please enter another name.</translation>
    </message>
    <message>
        <source>请再次按下您的手指</source>
        <translation>Please press the same finger again</translation>
    </message>
    <message>
        <source>添加失败，请稍后重试!</source>
        <translation>The fingerprint could not be added. Please try again later!</translation>
    </message>
    <message>
        <source>添加成功</source>
        <translation>Fingerprint added</translation>
    </message>
    <message>
        <source>查询指纹</source>
        <translation>Check fingerprint</translation>
    </message>
    <message>
        <source>正在查询用户，请输入用户名。</source>
        <translation>Checking a user. Please enter the user name.</translation>
    </message>
    <message>
        <source>正在查询用户,请稍候...</source>
        <translation>Checking the user, please wait...</translation>
    </message>
    <message>
        <source>查询成功</source>
        <translation>Check succeeded</translation>
    </message>
    <message>
        <source>此用户指纹已经存在,可以使用!</source>
        <translation>This user&apos;s fingerprint is enrolled and ready to use.</translation>
    </message>
    <message>
        <source>用户或者指纹信息不存在</source>
        <translation>No such user or fingerprint</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>用户或者指纹信息不存在!</source>
        <translation>There is no such user or fingerprint.</translation>
    </message>
    <message>
        <source>查询失败</source>
        <translation>Check failed</translation>
    </message>
    <message>
        <source>您确认要删除当前的用户和指纹吗？</source>
        <translation>Do you really want to delete the selected user and fingerprint?</translation>
    </message>
    <message>
        <source>请指定一个用户!</source>
        <translation>Please select a user.</translation>
    </message>
    <message>
        <source>正在删除指纹,请稍候! </source>
        <translation>Deleting the fingerprint, please wait... </translation>
    </message>
    <message>
        <source>删除成功! </source>
        <translation>Deleted. </translation>
    </message>
    <message>
        <source>用户不存在! </source>
        <translation>No such user. </translation>
    </message>
    <message>
        <source>用户不存在！</source>
        <translation>There is no such user.</translation>
    </message>
    <message>
        <source>删除失败! </source>
        <translation>Deleting failed. </translation>
    </message>
    <message>
        <source>删除失败，请重试！</source>
        <translation>The fingerprint could not be deleted. Please try again.</translation>
    </message>
    <message>
        <source>您确认要删除全部用户和指纹吗？</source>
        <translation>Do you really want to delete all users and fingerprints?</translation>
    </message>
    <message>
        <source>正在删除指纹, 请稍候!</source>
        <translation>Deleting the fingerprints, please wait...</translation>
    </message>
    <message>
        <source>另存为</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>正在导出数据到文件，请稍候</source>
        <translation>Exporting the fingerprints to the file, please wait</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>正在导入指纹数据，请稍候...</source>
        <translation>Importing the fingerprints, please wait...</translation>
    </message>
    <message>
        <source>导出到文件成功!</source>
        <translation>The fingerprints have been exported to the file.</translation>
    </message>
    <message>
        <source>导出到文件成功</source>
        <translation>Export finished</translation>
    </message>
    <message>
        <source>设备中无指纹存储!</source>
        <translation>There are no fingerprints stored in the printer.</translation>
    </message>
    <message>
        <source>导出到文件失败，请检查您的设备，再重试!</source>
        <translation>The fingerprints could not be exported. Please check the printer and try again.</translation>
    </message>
    <message>
        <source>导出失败</source>
        <translation>Export failed</translation>
    </message>
    <message>
        <source>导入文件成功!</source>
        <translation>The file has been imported.</translation>
    </message>
    <message>
        <source>导入文件成功</source>
        <translation>Import finished</translation>
    </message>
    <message>
        <source>导入文件失败，请检查您的设备，再重试!</source>
        <translation>The file could not be imported. Please check the printer and try again.</translation>
    </message>
</context>
<context>
    <name>FpmanagerApp</name>
    <message>
        <source>无法使用%1字符集（Qt缺少ICU支持），用户名无法转换，程序将退出。</source>
        <translation>The %1 character set is not available (this Qt lacks ICU support), so user names cannot be converted. The program will now quit.</translation>
    </message>
</context>
<context>
    <name>LoginDlg</name>
    <message>
        <source>用户登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;用户名：&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>修改登录信息</source>
        <translation>Change login</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>用户名不正确，请重新输入</source>
        <translation>The user name is incorrect. Please enter it again</translation>
    </message>
    <message>
        <source>输入的密码不正确，请重新输入</source>
        <translation>The password is incorrect. Please enter it again</translation>
    </message>
    <message>
        <source>设备未安装或者未连接!</source>
        <translation>No printer is installed or connected!</translation>
    </message>
</context>
<context>
    <name>NoticeBox</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>SettingsDlg</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>打印指纹验证超时时间：</source>
        <translation>Fingerprint time-out when printing (s):</translation>
    </message>
    <message>
        <source>导入导出默认路径：</source>
        <translation>Default folder for import/export:</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>请选择文件夹</source>
        <translation>Choose a folder</translation>
    </message>
</context>
</TS>
