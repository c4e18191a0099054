// The operator's texts, exactly as the workstation shows them. Each is a message id of the
// catalogue (shown through Tr()); every catalogue keeps them as they are.
#pragma once

#include "app/catalogue.h"

namespace edi::msg {

inline constexpr const char* kAppTitle = TrMark("P740150");
inline constexpr const char* kIniReadError = TrMark("INIﾌｧｲﾙ読込エラー");
inline constexpr const char* kConnectError = TrMark("接続エラー");
inline constexpr const char* kNoData = TrMark("該当するデータがありませんでした");
inline constexpr const char* kItemSettingError = TrMark("項目設定エラー");
inline constexpr const char* kOperatorInputError = TrMark("オペレータ入力エラー");
inline constexpr const char* kConfirmQuit = TrMark("終了してもよろしいですか");

}  // namespace edi::msg
