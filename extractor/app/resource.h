// Resource and control ids of the extractor's dialogs.
#ifndef ORVOBF_EXTRACTOR_RESOURCE_H
#define ORVOBF_EXTRACTOR_RESOURCE_H

#define IDD_MAIN 101
#define IDD_ABOUT 104
#define IDB_PICTURE 107
#define IDC_ABOUT 1014
#define IDC_VERSION 1022
#define IDC_PROGRESS 1037

#endif
