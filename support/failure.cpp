#include "support/failure.h"

#include <cerrno>

namespace quenrix {

std::string FailureText(int errorNumber, Language language) {
    const bool en = language == Language::English;
    switch (errorNumber) {
        case EACCES:
        case EPERM:
            return en ? "permission denied" : "アクセスが拒否されました";
        case ENOENT:
            return en ? "no such file or folder" : "ファイルまたはフォルダーがありません";
        case ENOTDIR:
            return en ? "a part of the path is not a folder"
                      : "パスの途中がフォルダーではありません";
        case EISDIR:
            return en ? "it is a folder" : "フォルダーです";
        case EEXIST:
            return en ? "it exists already" : "既に存在します";
        case ENOSPC:
            return en ? "no space left on the disk" : "ディスクの空き容量がありません";
        case EFBIG:
            return en ? "file too large" : "ファイルが大きすぎます";
        case ELOOP:
            return en ? "a symbolic link stands in the way" : "シンボリックリンクがあります";
#ifdef EDQUOT
        case EDQUOT:
            return en ? "disk quota exceeded" : "ディスククォータを超えました";
#endif
        case EROFS:
            return en ? "read-only file system" : "読み取り専用のファイルシステムです";
        case EBUSY:
        case ETXTBSY:
            return en ? "in use by another program" : "他のプログラムが使用中です";
        case EIO:
            return en ? "input/output error" : "入出力エラー";
        case ENAMETOOLONG:
            return en ? "name too long" : "名前が長すぎます";
        case EMFILE:
        case ENFILE:
            return en ? "too many open files" : "開いているファイルが多すぎます";
        case EXDEV:
            return en ? "on another volume" : "別のボリュームにあります";
        case EINVAL:
            return en ? "invalid name or argument" : "名前または引数が無効です";
        case kNotRegularFile:
        case ENXIO:
            return en ? "not a regular file" : "通常のファイルではありません";
        case kReadsBackDifferent:
            return en ? "it reads back different" : "読み返すと内容が違います";
        case kChangedSinceRead:
            return en ? "it changed since it was read" : "読み込んだ後に変更されました";
        case kFolderReplaced:
            return en ? "its folder was replaced since the run began"
                      : "変換の開始後にフォルダーが置き換えられました";
        case kLockedByAnother:
            return en ? "locked by another program (still after waiting)"
                      : "他のプログラムがロックしています（待っても解除されません）";
        case kStillInUse:
            return en ? "in use by another program (still after waiting 2 seconds)"
                      : "他のプログラムが使用中です（2秒待っても解除されません）";
        case 0:
            return en ? "unknown cause" : "原因不明";
        default:
            return (en ? "system error " : "システムエラー ") + std::to_string(errorNumber);
    }
}

}  // namespace quenrix
