// Every text of the check's report: the verdict words, the advice lines, the headings and the labels the
// lines begin with. The report's readers (people, scripts, the end-to-end tests) take them from here.
// UTF-8 source; the compiler writes them in code page 936.
#pragma once

namespace check::texts {

// The window's caption and its button.
inline constexpr char kTitle[] = "MDAC 组件检查";
inline constexpr char kCopyButton[] = "复制报告";
inline constexpr char kCopied[] = "报告已复制到剪贴板。";

// The report's first line, then the header's lines, each "label：value".
inline constexpr char kHeading[] = "MDAC 组件检查报告";
inline constexpr char kWindowsLine[] = "Windows 版本：";
inline constexpr char kTagLine[] = "版本标记：";
inline constexpr char kBitsLine[] = "系统：";
inline constexpr char kBits32[] = "32 位 Windows";
inline constexpr char kBits64[] = "64 位 Windows（结果适用于 32 位应用程序）";
inline constexpr char kUserLine[] = "用户：";
inline constexpr char kElevated[] = "（以管理员权限运行）";
inline constexpr char kNotElevated[] = "（未以管理员权限运行）";
inline constexpr char kCompatibilityLine[] = "MdacRepair.exe 的兼容性设置：";
inline constexpr char kNoCompatibility[] = "无";
inline constexpr char kListLine[] = "使用的文件列表：";
inline constexpr char kWineLine[] = "Wine：";

// One block per entry: "[N] KEY → DESTINATION", the verdict line, then the facts, indented.
inline constexpr char kEntryArrow[] = " → ";
inline constexpr char kVerdictLine[] = "  结论：";
inline constexpr char kAdviceSeparator[] = " —— ";
inline constexpr char kFileLine[] = "  文件：";
inline constexpr char kSelfRegisterLine[] = "  自注册：";
inline constexpr char kMachineClassLine[] = "  注册（本机）：";
inline constexpr char kUserClassLine[] = "  注册（本用户）：";
inline constexpr char kOtherCopyLine[] = "  其他副本：";
inline constexpr char kShadowLine[] = "  被按用户注册遮住：";
inline constexpr char kLoadLine[] = "  载入：";
inline constexpr char kCreateLine[] = "  创建 ";

// Verdict words.
inline constexpr char kOk[] = "正常";
inline constexpr char kAttention[] = "注意";
inline constexpr char kProblem[] = "问题";

// File facts.
inline constexpr char kFileMissing[] = "不存在";
inline constexpr char kFileSame[] = "与软件包中的副本相同";
inline constexpr char kFileOther[] = "与软件包中的副本不同";
inline constexpr char kPackageMissing[] = "软件包中没有这个文件";
inline constexpr char kVersion[] = "版本 ";
inline constexpr char kPackageVersion[] = "软件包中的版本 ";
inline constexpr char kNoVersion[] = "无版本信息";
inline constexpr char kNewer[] = "较新";
inline constexpr char kOlder[] = "较旧";
inline constexpr char kSameVersion[] = "版本相同";
inline constexpr char kWineBuiltin[] = "Wine 内置";
inline constexpr char kExportsRegister[] = "有 DllRegisterServer";
inline constexpr char kNoRegisterExport[] = "没有 DllRegisterServer（regsvr32 无法注册它）";
inline constexpr char kNone[] = "无";

// Class facts.
inline constexpr char kProgId[] = "ProgID ";
inline constexpr char kProgIdLeadsBack[] = "（指回这个类）";
inline constexpr char kProgIdElsewhere[] = "（不指回这个类）";
inline constexpr char kProvider[] = "OLE DB 提供程序 ";
inline constexpr char kScopeMachine[] = "（本机）";
inline constexpr char kScopeUser[] = "（本用户）";

// Load and creation.
inline constexpr char kLoaded[] = "成功";
inline constexpr char kNotTried[] = "未尝试";
inline constexpr char kLoadMissingLibrary[] = "失败：它需要的库缺失";
inline constexpr char kLoadNot32Bit[] = "失败：不是 32 位的映像";
inline constexpr char kLoadInitFailed[] = "失败：初始化失败";
inline constexpr char kLoadAccessDenied[] = "失败：拒绝访问";
inline constexpr char kLoadFailed[] = "失败：错误 ";
inline constexpr char kCrashed[] = "崩溃";
inline constexpr char kHung[] = "超时未响应";
inline constexpr char kCreated[] = "成功，由 ";
inline constexpr char kCreatedBy[] = " 提供";
inline constexpr char kCreateFailed[] = "失败 ";

// Advice, one line per entry: the first that applies.
inline constexpr char kAdviceOk[] = "一切正常";
inline constexpr char kAdviceMissing[] = "文件不存在：请再运行一次修复";
inline constexpr char kAdviceMissingLibrary[] = "它需要的库缺失：请先修复或安装那个库，再运行一次修复";
inline constexpr char kAdviceNot32Bit[] = "不是 32 位的文件：请用软件包中的副本替换它";
inline constexpr char kAdviceInitFailed[] = "初始化失败：文件可能损坏或版本不配，请用软件包中的副本替换它";
inline constexpr char kAdviceAccessDenied[] = "当前用户无权读取它：请检查文件的权限";
inline constexpr char kAdviceLoadFailed[] = "无法载入：请用软件包中的副本替换它";
inline constexpr char kAdviceLoadCrashed[] = "载入时崩溃或无响应：请用软件包中的副本替换它";
inline constexpr char kAdviceCreateCrashed[] = "创建它的类时崩溃或无响应：请用软件包中的副本替换它";
inline constexpr char kAdviceNotProbed[] = "未能检查载入和创建：请再运行一次检查";
inline constexpr char kAdviceCreateFailed[] = "它的类无法创建：请再运行一次修复";
inline constexpr char kAdviceShadowed[] = "按用户的注册遮住了本机的注册，指向另一个文件：请删除按用户的注册";
inline constexpr char kAdviceOtherFile[] = "它的类注册到了另一个文件：请再运行一次修复";
inline constexpr char kAdviceNotRegistered[] = "能载入，但没有类注册到它：请再运行一次修复";
inline constexpr char kAdviceProgId[] = "ProgID 不指回它的类：请再运行一次修复";
inline constexpr char kAdviceOlder[] = "比软件包中的副本旧：请用软件包中的副本替换它";
inline constexpr char kAdviceSameVersion[] =
    "与软件包中的副本不同，但版本相同：可能是系统自己的版本；若出错，请手动用软件包中的副本替换它";
inline constexpr char kAdviceDifferent[] = "与软件包中的副本不同，且无法比较版本：请核对";
inline constexpr char kAdviceNoPackageCopy[] = "软件包中没有这个文件：修复无法复制它";

// The counts below the entries, and what ends a check early.
inline constexpr char kCountsLine[] = "合计：";
inline constexpr char kEntries[] = " 项，";
inline constexpr char kCountSeparator[] = "，";
inline constexpr char kCouldNotCheck[] = "无法检查：";
inline constexpr char kNoList[] = "找不到文件列表";
inline constexpr char kPathTooLong[] = "路径太长";
inline constexpr char kRefused[] = "程序所在的文件夹里有会让系统从这个文件夹载入库的文件";
inline constexpr char kEmptyList[] = "文件列表是空的";

}  // namespace check::texts
