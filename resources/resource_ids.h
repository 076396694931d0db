// Resource and command identifiers shared by the resource script and the code
// (the texts' ids come from strings.txt: string_ids.h).
#pragma once

#define IDI_KESTROVA 107
#define IDI_SMALL 108
#define IDI_RECORDING 109
#define IDR_MAINMENU 109
#define IDR_ACCELERATORS 109
#define IDR_TRAYMENU 139

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SEQUENCE 32772
#define IDM_SOURCE 32773
#define IDM_FORMAT 32774
#define IDM_DISPLAY 32775
#define IDM_COMPRESSION 32776
#define IDM_OVERLAY 32777
#define IDM_AUDIO_FORMAT 32780
#define IDM_ENVIRONMENT 32781
#define IDM_DEVICE 32782
#define IDM_PREVIEW 32783
#define IDM_TEMP_INFO 32784
#define IDM_SAVE_AS 32786
#define IDM_CONFIRM 32787
#define IDM_RECORD 32788
#define IDM_STATUS 32789
#define IDM_SNAPSHOT_SETTINGS 32790
#define IDM_SNAPSHOT 32791
#define IDM_CLIPBOARD 32792
#define IDM_TIMER 32793
#define IDM_RESERVATIONS 32794
#define IDM_FONT 32795
#define IDM_ONE_TOUCH 32797
#define IDM_MIXER 32799
#define IDM_TOPMOST 32800
