// The error numbers of the platform layer: the Windows system error numbers,
// which the run-time library reports too. Every platform call that can fail
// returns one of them (0 is success); the POSIX build maps its own errors
// onto them. Callers compare with these names, never with the bare numbers.
#pragma once
#include <initializer_list>

namespace platform::error {

inline constexpr int kNone = 0;
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kInvalidHandle = 6;
inline constexpr int kInvalidAccess = 12;
inline constexpr int kNoMoreFiles = 18;
inline constexpr int kGeneralFailure = 31;
inline constexpr int kSharingViolation = 32;
inline constexpr int kLockViolation = 33;
inline constexpr int kHandleEof = 38;  // reached the end of the file
inline constexpr int kFileExists = 80;
inline constexpr int kInvalidParameter = 87;
inline constexpr int kDiskFull = 112;
inline constexpr int kNegativeSeek = 131;
inline constexpr int kFolderNotEmpty = 145;
inline constexpr int kNotLocked = 158;
inline constexpr int kAlreadyExists = 183;
inline constexpr int kBadProgram = 193;
inline constexpr int kNameTooLong = 206;
inline constexpr int kNotAFolder = 267;

// Whether n is one of the numbers named above: other vocabularies (the
// engine's own results) check theirs against it at compile time.
constexpr bool IsNamed(int n) {
  for (int named : {kNone, kFileNotFound, kPathNotFound, kTooManyOpenFiles, kAccessDenied, kInvalidHandle,
                    kInvalidAccess, kNoMoreFiles, kGeneralFailure, kSharingViolation, kLockViolation,
                    kHandleEof, kFileExists, kInvalidParameter, kDiskFull, kNegativeSeek, kFolderNotEmpty,
                    kNotLocked, kAlreadyExists, kBadProgram, kNameTooLong, kNotAFolder})
    if (n == named) return true;
  return false;
}

}  // namespace platform::error
