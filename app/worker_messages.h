// Texts of the installer worker's failure reports. The first three carry a
// message identifier between '$' signs that is dropped before use.
#pragma once

inline constexpr char16_t kFolderFailureFormat[] = u"$1010-0171$フォルダ [%s] が作成出来ません";
inline constexpr char16_t kSourceOpenFailureFormat[] =
    u"$1010-0172$ソースファイル [%s] がオープン出来ません。 : %s";
inline constexpr char16_t kOutputOpenFailureFormat[] =
    u"$1010-0172$出力ファイル [%s] がオープン出来ません。 : %s";

// Used when the system has no text of its own for the failure.
inline constexpr char16_t kShortReadFormat[] = u"ソースファイル [%s] を最後まで読み込めません。";
inline constexpr char16_t kShortWriteFormat[] = u"出力ファイル [%s] に書き込めません。";
inline constexpr char16_t kBufferFailureFormat[] = u"転送バッファが確保出来ません [%s]";
inline constexpr char16_t kPathTooLongFormat[] = u"パスが長すぎます [%s]";
inline constexpr char16_t kThreadFailureFormat[] = u"スレッドが開始出来ません [%s]";
// The install's own steps after the copies, with the system's text.
inline constexpr char16_t kReplaceFailureFormat[] = u"ファイル [%s] を置き換えられません。 : %s";
