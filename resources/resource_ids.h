// Identifiers of the program's resources.
//
// Plain macros, so that both the resource script and portable code can use
// them without windows.h.
//
// The message catalogue holds every text in Japanese and in English: the
// Japanese text at the lower id, the English one TARNWICK_ENGLISH_ID_OFFSET
// higher. Which of the two is shown is decided by the program from the
// user's language, never by the platform's resource language selection.
#ifndef TARNWICK_RESOURCES_RESOURCE_IDS_H
#define TARNWICK_RESOURCES_RESOURCE_IDS_H

// Icon of the banner's window class and of the notification-area icons.
#define IDI_TARNWICK 101
// 18 x 18 white "no" sign, 32-bit premultiplied, blended onto the banner.
#define IDB_NO_SIGN 102

// Texts shared by both languages.
#define IDS_CAPTION 501    // caption of the terminate prompt and the shutdown warning
#define IDS_ROOT_NAME 502  // display name of a drive's root folder

#define TARNWICK_ENGLISH_ID_OFFSET 1000

// Japanese texts.
#define IDS_SAFE_TEXT_JA 1001         // success balloon text
#define IDS_RUNNING_TEXT_JA 1002      // blocker balloon: runs from the drive
#define IDS_OPEN_TEXT_JA 1003         // blocker balloon: holds a file or folder open
#define IDS_RUNNING_PROMPT_JA 1004    // terminate prompt: runs from the drive
#define IDS_OPEN_PROMPT_JA 1005       // terminate prompt: holds a file or folder open
#define IDS_SAFE_TITLE_JA 1006        // success balloon title
#define IDS_BLOCKER_TITLE_JA 1007     // blocker balloon title
#define IDS_SHUTDOWN_WARNING_JA 1101  // shutdown warning text

// English texts.
#define IDS_SAFE_TEXT_EN 2001
#define IDS_RUNNING_TEXT_EN 2002
#define IDS_OPEN_TEXT_EN 2003
#define IDS_RUNNING_PROMPT_EN 2004
#define IDS_OPEN_PROMPT_EN 2005
#define IDS_SAFE_TITLE_EN 2006
#define IDS_BLOCKER_TITLE_EN 2007
#define IDS_SHUTDOWN_WARNING_EN 2101

#endif  // TARNWICK_RESOURCES_RESOURCE_IDS_H
