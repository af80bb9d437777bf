Attribute VB_Name = "modОкна"
' Функции окон
Public Const ЗАГОЛОВОК = "Главное окно"
Public Declare Function SetWindowText Lib "user32" Alias "SetWindowTextA" (ByVal hWnd As Long, ByVal lpString As String) As Long ' заголовок
