// The operator's texts, exactly as the workstation shows them.
#pragma once

namespace edi::msg {

inline constexpr const char* kAppTitle = "P740150";
inline constexpr const char* kIniReadError = "INIﾌｧｲﾙ読込エラー";
inline constexpr const char* kConnectError = "接続エラー";
inline constexpr const char* kNoData = "該当するデータがありませんでした";
inline constexpr const char* kItemSettingError = "項目設定エラー";
inline constexpr const char* kOperatorInputError = "オペレータ入力エラー";
inline constexpr const char* kConfirmQuit = "終了してもよろしいですか";

}  // namespace edi::msg
