Attribute VB_Name = "modApi"
Option Explicit
#Const DEBUG_API = 0

#If VBA7 Then
    Private Declare PtrSafe Function GetActiveWindow Lib "user32" () As LongPtr
    Private Declare PtrSafe Function SetFocus Lib "user32" (ByVal hWnd As LongPtr) As LongPtr
#Else
    Private Declare Function GetActiveWindow Lib "user32" () As Long
    Private Declare Function SetFocus Lib "user32" (ByVal hWnd As Long) As Long
#End If

#If Win64 Then
    Private Type LARGE_PAIR
        a As LongLong
    End Type
#ElseIf Mac Then
    Private Const PATH_SEPARATOR = "/"
#Else
    Private Const PATH_SEPARATOR = "\"
#End If

Private Type MSGINFO
    #If Win64 Then
    hwnd As LongPtr
    #Else
    hwnd As Long
    #End If
    message As Long
End Type

#If DEBUG_API Then
Private Declare Sub OutputDebugString Lib "kernel32" Alias "OutputDebugStringA" (ByVal lpOutputString As String)
#End If

Declare PtrSafe Function GetTickCount64 Lib "kernel32" () As LongLong

#If VBA7 Then
Public Function ActiveWindow() As LongPtr
#Else
Public Function ActiveWindow() As Long
#End If
    ActiveWindow = GetActiveWindow()
End Function
