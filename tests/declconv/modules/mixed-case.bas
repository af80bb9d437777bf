Attribute VB_Name = "modWindowTools"
option explicit
' Typed in a plain text editor: the keywords keep the case they were typed in.

private declare function GetWindowTextLength lib "user32" alias "GetWindowTextLengthA" (BYVAL hwnd AS LONG) as long
Private Declare Function FindWindow Lib "USER32" Alias "FindWindowA" (byVal lpClassName as string, byval lpWindowName As String) as Long
public declare sub Sleep lib "kernel32" (byval dwMilliseconds as long)
Declare Sub InitCommonControls Lib "comctl32" Alias "InitCommonControls"
DECLARE FUNCTION GetTickCount LIB "kernel32" AS LONG
Private Declare Function SendMessage Lib "user32" Alias "SendMessageA" (ByVal hWnd As Long, ByVal wMsg As Long, _
        byval wParam as long, lParam as any) as long

public const WM_GETTEXT as long = &HD, WM_SETTEXT as long = &HC ' As Long here stays in the comment
global const APP_TITLE = "Type As Long"

public type rect
    left as long
    top AS LONG
    right As long   ' As LONG in a comment
    bottom as Long
end type

private enum ShowWindowFlags
    SW_HIDE = 0
    sw_normal = 1
end enum
