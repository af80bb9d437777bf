Attribute VB_Name = "modBroken"
#If VBA7 Then
Private Declare PtrSafe Function GetDC Lib "user32" (ByVal hWnd As LongPtr) As LongPtr
#Else If
Private Declare Function GetDC Lib "user32" (ByVal hWnd As Long) As Long
#End If
#If Win64 And Then
Const A = 1
#Else
Const A = 2
#EndIf
#End If
#If VBA6 Then
Const B = 1
Const C = 1 _
