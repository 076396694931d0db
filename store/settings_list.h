// Every key of the INI file beside the executable, once: the AppSettings
// fields (settings.h) and the table they are read and written through
// (settings.cpp) are both made from this list, so a field cannot be left
// unsaved.
//
// One line per key, in the order in which the keys are read:
//   kind     Int (std::int32_t), Float (float, its "%2.2f" text) or Text
//            (std::string, UTF-8 here, CP932 in the file)
//   section  the INI section: Video, Audio or General
//   key      the INI key, also the name of the field
//   value    the default
//   bytes    the text buffer the value is read through, its NUL included
//            (0 for Int)
//   write    the key's place (1..39) in the order in which they are written
#pragma once

#define KESTROVA_SETTINGS(X)                                                         \
    /* kind  section  key            value                 bytes      write */     \
    X(Text,  Video,   TempPath,      "",                   kPathSize, 1)           \
    X(Int,   Video,   TempFile,      0,                    0,         2)           \
    X(Int,   Video,   TempSize,      0,                    0,         3)           \
    X(Int,   Video,   Preview,       1,                    0,         7)           \
    X(Int,   Video,   Overlay,       0,                    0,         8)           \
    X(Int,   Video,   Confirm,       0,                    0,         9)           \
    X(Int,   Video,   Status,        1,                    0,         10)          \
    X(Int,   Video,   PreviewRate,   66,                   0,         11)          \
    X(Float, Video,   Frames,        15.0f,                kTextSize, 12)          \
    X(Int,   Audio,   CaptureAudio,  1,                    0,         13)          \
    X(Int,   Audio,   SampleRate,    44100,                0,         5)           \
    X(Int,   Audio,   SampleBit,     16,                   0,         6)           \
    X(Int,   Audio,   SampleChannel, 2,                    0,         4)           \
    X(Int,   Video,   Ctrl,          0,                    0,         14)          \
    X(Int,   Video,   Shift,         0,                    0,         15)          \
    X(Int,   Video,   LClick,        1,                    0,         16)          \
    X(Int,   Video,   RClick,        1,                    0,         17)          \
    X(Int,   Video,   EndKey,        1,                    0,         18)          \
    X(Int,   Video,   VkKey,         27,                   0,         19)          \
    X(Int,   Video,   SnapFile,      0,                    0,         20)          \
    X(Int,   Video,   SnapOverWrite, 0,                    0,         21)          \
    X(Text,  Video,   SnapFileName,  "SNAP",               kPathSize, 22)          \
    X(Int,   Video,   PreviewScale,  0,                    0,         23)          \
    X(Int,   Audio,   SampleFormat,  1,                    0,         24)          \
    X(Int,   Video,   VideoBuffers,  5,                    0,         25)          \
    X(Text,  General, FontFaceName,  "system",             kTextSize, 27)          \
    X(Int,   General, FontSize,      12,                   0,         26)          \
    X(Int,   General, FontWeight,    400,                  0,         28)          \
    X(Int,   General, FontItalic,    0,                    0,         29)          \
    X(Int,   Video,   FixedTempFile, 1,                    0,         30)          \
    X(Text,  Video,   TempFileName,  kDefaultWorkFileName, kTextSize, 31)          \
    X(Int,   General, WindowPosX,    kUseDefaultPosition,  0,         33)          \
    X(Int,   General, WindowPosY,    kUseDefaultPosition,  0,         34)          \
    X(Int,   Video,   PartCapture,   0,                    0,         35)          \
    X(Int,   Video,   PartTime,      900,                  0,         36)          \
    X(Int,   Video,   DeviceIndex,   0,                    0,         37)          \
    X(Text,  Video,   Onetouch,      "15,30,45,60",        kTextSize, 38)          \
    X(Int,   General, TopMost,       0,                    0,         39)          \
    X(Int,   General, SpeedSave,     0,                    0,         32)
