<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>指纹认证</source>
        <translation>Fingerprint authentication</translation>
    </message>
    <message>
        <source>剩余时间：</source>
        <translation>Time left:</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>指纹认证-%1-%2</source>
        <translation>Fingerprint authentication – %1 – job %2</translation>
    </message>
    <message>
        <source>您的打印工作需要进行指纹认证，请按下您的手指。如果在%1秒内未检测到正确指纹，则打印工作取消。您也可以直接点击“取消”按键取消当前打印。</source>
        <translation>Your print job needs fingerprint authentication: please press your finger on the printer&apos;s reader. If no matching fingerprint is detected within %1 seconds, the print job is cancelled. You can also click “Cancel” to cancel this print job now.</translation>
    </message>
</context>
<context>
    <name>VerifyOutcome</name>
    <message>
        <source>指纹验证失败，打印作业将被取消！</source>
        <translation>Fingerprint verification failed; the print job will be cancelled.</translation>
    </message>
    <message>
        <source>指纹验证被用户取消，打印作业也将被取消！</source>
        <translation>You cancelled the fingerprint verification, so the print job will be cancelled too.</translation>
    </message>
    <message>
        <source>指纹验证超时，打印作业也将被取消！</source>
        <translation>Fingerprint verification timed out, so the print job will be cancelled too.</translation>
    </message>
    <message>
        <source>设备用户列表为空，无法进行指纹验证，当前打印作业将被取消！</source>
        <translation>No fingerprints are enrolled in the printer, so no verification is possible; the print job will be cancelled.</translation>
    </message>
    <message>
        <source>设备忙，当前打印作业将被取消！</source>
        <translation>The printer&apos;s fingerprint reader is busy; the print job will be cancelled.</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
