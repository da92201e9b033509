// The savers' resources (saver.rc): the settings window and its controls.
#ifndef WINDOWS_RESOURCE_H
#define WINDOWS_RESOURCE_H

#define IDD_SETTINGS 100
#define IDC_RATE 101       // the frame-rate slider
#define IDC_RATE_TEXT 102  // the rate it stands for, in words

#endif
