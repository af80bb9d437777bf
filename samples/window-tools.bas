Attribute VB_Name = "modWindowTools"
Option Explicit

' Window helpers — declarations for a small desktop tool.
' Saved by the editor in Windows-1252, as such modules usually are.

Public Const MAX_PATH = 260
Private Const WM_SETTEXT As Long = &HC            ' sets a window's text
Public Const HWND_TOPMOST = -1
Const SND_ASYNC = &H1&, SND_NODEFAULT = &H2&
Const GREETING = "Grüße aus Tarnwick"   ' a string with 'quotes' in the comment
Public Const GENERIC_RW = GENERIC_READ Or GENERIC_WRITE

Public Type POINTAPI
    x As Long
    y As Long
End Type

Public Type WINDOWPLACEMENT
    length As Long
    flags As Long
    showCmd As Long
    ptMinPosition As POINTAPI
    ptMaxPosition As POINTAPI   ' where a maximised window goes
    rcNormalPosition(0 To 3) As Long
End Type

Public Enum ShowWindowCommand
    SW_HIDE = 0
    SW_SHOWNORMAL = 1
    SW_SHOWMINIMIZED          ' one more than the one before
    SW_SHOWMAXIMIZED = 3
End Enum

Public Declare Function GetTickCount Lib "kernel32" () As Long
Public Declare Function SetWindowText Lib "user32" Alias "SetWindowTextA" (ByVal hWnd As Long, ByVal lpString As String) As Long
Private Declare Sub Sleep Lib "kernel32" (ByVal dwMilliseconds As Long)
Public Declare Function GetFileVersionInfoSize Lib "version" Alias "GetFileVersionInfoSizeA" ( _
    ByVal lptstrFilename As String, _
    lpdwHandle As Long _
) As Long

Private mLastTick As Long

Public Function Elapsed() As Long
    Elapsed = GetTickCount() - mLastTick
End Function
