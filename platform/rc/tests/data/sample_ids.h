// Ids for the sample script; declarations in a header are passed over, only definitions count.
#pragma once
#define IDM_OPEN 0x10
#define IDM_QUIT 17
#define IDC_NAME (IDM_OPEN + 0x100)
#define SAMPLE_STYLE WS_POPUP | WS_CAPTION
int ignored_declaration(void);
