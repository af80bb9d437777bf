Attribute VB_Name = "modFenster"
' Fensterfunktionen
' Größe und Position des Fensters
Public Const TITEL = "Fenstergröße"
Public Declare Function MoveWindow Lib "user32" (ByVal hWnd As Long, ByVal x As Long, ByVal y As Long, ByVal nWidth As Long, ByVal nHeight As Long, ByVal bRepaint As Long) As Long
