// Every key of the INI file beside the executable, once: the AppSettings
// fields (settings.h), the range each number is held within, and the table
// they are read and written through (settings.cpp) are all made from this
// list, so a field cannot be left unsaved or unchecked.
//
// One line per key, in the order in which the keys are read:
//   kind     Int (std::int32_t), Float (float, its "%2.2f" text) or Text
//            (std::string, UTF-8 here, CP932 in the file)
//   section  the INI section: Video, Audio or General, and Unattended for
//            Kestrova's own keys, written after all the others
//   key      the INI key, also the name of the field
//   value    the default
//   range    the values that mean something: a number read outside it is
//            held at the nearer end, and written back so at exit. kAnyInt:
//            every value means something (on/off keys: 0 off, any other
//            value on, and Confirm and TopMost store -1); kAnyText for texts
//   bytes    the text buffer the value is read through, its NUL included
//            (0 for Int)
//   write    the key's place in the order in which they are written
// and, beside it, why the range is what it is.
#pragma once

#define KESTROVA_SETTINGS(X)                                                                                   \
    /* kind  section  key            value                 range                     bytes      write */      \
    X(Text,  Video,   TempPath,      "",                   kAnyText,                 kPathSize, 1)  /* a path */ \
    X(Int,   Video,   TempFile,      0,                    kAnyInt,                  0,         2)  /* on/off */ \
    X(Int,   Video,   TempSize,      0,                    Range(0, 4095),           0,         3)  /* MB: the capture window's byte count is 32 bits */ \
    X(Int,   Video,   Preview,       1,                    kAnyInt,                  0,         7)  /* on/off */ \
    X(Int,   Video,   Overlay,       0,                    kAnyInt,                  0,         8)  /* on/off */ \
    X(Int,   Video,   Confirm,       0,                    kAnyInt,                  0,         9)  /* on/off, -1 for on */ \
    X(Int,   Video,   Status,        1,                    kAnyInt,                  0,         10) /* on/off */ \
    X(Int,   Video,   PreviewRate,   66,                   Range(0, 65535),          0,         11) /* ms: the capture window keeps 16 bits */ \
    X(Float, Video,   Frames,        15.0f,                Range(0.01f, 1000.0f),    kTextSize, 12) /* fps: 0.01 the least "%2.2f" keeps; 0 or less is no rate: 15 */ \
    X(Int,   Audio,   CaptureAudio,  1,                    kAnyInt,                  0,         13) /* on/off */ \
    X(Int,   Audio,   SampleRate,    44100,                Range(1000, 384000),      0,         5)  /* Hz: every rate sound formats offer */ \
    X(Int,   Audio,   SampleBit,     16,                   Range(0, 64),             0,         6)  /* 0 for compressed sound, up to 64-bit samples */ \
    X(Int,   Audio,   SampleChannel, 2,                    Range(1, 8),              0,         4)  /* mono up to 7.1 */ \
    X(Int,   Video,   Ctrl,          0,                    kAnyInt,                  0,         14) /* kept and written back as it is */ \
    X(Int,   Video,   Shift,         0,                    kAnyInt,                  0,         15) /* kept and written back as it is */ \
    X(Int,   Video,   LClick,        1,                    kAnyInt,                  0,         16) /* on/off */ \
    X(Int,   Video,   RClick,        1,                    kAnyInt,                  0,         17) /* on/off */ \
    X(Int,   Video,   EndKey,        1,                    kAnyInt,                  0,         18) /* kept and written back as it is */ \
    X(Int,   Video,   VkKey,         27,                   kAnyInt,                  0,         19) /* kept and written back as it is */ \
    X(Int,   Video,   SnapFile,      0,                    kAnyInt,                  0,         20) /* on/off */ \
    X(Int,   Video,   SnapOverWrite, 0,                    kAnyInt,                  0,         21) /* on/off */ \
    X(Text,  Video,   SnapFileName,  "SNAP",               kAnyText,                 kPathSize, 22) /* a name's beginning */ \
    X(Int,   Video,   PreviewScale,  0,                    kAnyInt,                  0,         23) /* on/off */ \
    X(Int,   Audio,   SampleFormat,  1,                    Range(0, 65535),          0,         24) /* the wave format tag is 16 bits */ \
    X(Int,   Video,   VideoBuffers,  5,                    Range(2, 1000),           0,         25) /* the environment dialog's stated 2 to 1000 */ \
    X(Text,  General, FontFaceName,  "system",             kAnyText,                 kTextSize, 27) /* a face name */ \
    X(Int,   General, FontSize,      12,                   Range(-200, 200),         0,         26) /* px at 96 DPI, either sign (0 the face's own); the font dialog's top is 64 */ \
    X(Int,   General, FontWeight,    400,                  Range(0, 1000),           0,         28) /* the weights GDI takes, 0 any */ \
    X(Int,   General, FontItalic,    0,                    kAnyInt,                  0,         29) /* only its low byte counts: 0 upright */ \
    X(Int,   Video,   FixedTempFile, 1,                    kAnyInt,                  0,         30) /* on/off */ \
    X(Text,  Video,   TempFileName,  kDefaultWorkFileName, kAnyText,                 kTextSize, 31) /* a file name */ \
    X(Int,   General, WindowPosX,    kUseDefaultPosition,  kAnyInt,                  0,         33) /* checked against the screen instead */ \
    X(Int,   General, WindowPosY,    kUseDefaultPosition,  kAnyInt,                  0,         34) /* checked against the screen instead */ \
    X(Int,   Video,   PartCapture,   0,                    kAnyInt,                  0,         35) /* on/off */ \
    X(Int,   Video,   PartTime,      900,                  Range(0, 999 * 60),       0,         36) /* s: 0 no parts, up to the dialog's 999 minutes */ \
    X(Int,   Video,   DeviceIndex,   0,                    Range(0, 9),              0,         37) /* the ten capture drivers the system numbers */ \
    X(Text,  Video,   Onetouch,      "15,30,45,60",        kAnyText,                 kTextSize, 38) /* minutes; an item over a day records a day, its text kept */ \
    X(Int,   General, TopMost,       0,                    kAnyInt,                  0,         39) /* on/off, -1 for on */ \
    X(Int,   General, SpeedSave,     0,                    kAnyInt,                  0,         32) /* on/off */ \
    X(Int,   Unattended, StartMargin, 0,                   Range(0, 3600),           0,         40) /* s recorded before a reservation's start */ \
    X(Int,   Unattended, EndMargin,   0,                   Range(0, 3600),           0,         41) /* s recorded after its end */ \
    X(Text,  Unattended, AfterCommand, "",                 kAnyText,                 kCommandSize, 42) /* a command line: long */ \
    X(Int,   Unattended, ActionSkipMinutes, 10,            Range(0, 1440),           0,         43) /* no action after a run when the next starts this soon: up to a day */ \
    X(Int,   Unattended, ResleepAfterWake, 0,              kAnyInt,                  0,         44) /* on/off */
