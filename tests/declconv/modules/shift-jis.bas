Attribute VB_Name = "modWindow"
' ウィンドウの関数
Public Const TITLE = "メインウィンドウ"
Public Declare Function GetWindowText Lib "user32" Alias "GetWindowTextA" (ByVal hWnd As Long, ByVal lpString As String, ByVal cch As Long) As Long
