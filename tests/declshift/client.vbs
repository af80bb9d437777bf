' A VBScript host of declshift.clsMain: creates the object by its programmatic
' identifier and prints what the identification members, Preview and some converters
' answer, one line each, with line breaks shown as {CRLF}. By-reference texts are
' passed as literals or parenthesised expressions, as VBScript requires.
Option Explicit

Function Visible(text)
    Visible = Replace(Replace(Replace(text, vbCrLf, "{CRLF}"), vbCr, "{CR}"), vbLf, "{LF}")
End Function

Sub Show(label, value)
    WScript.Echo label & ": [" & Visible(CStr(value)) & "]"
End Sub

Dim plugin, name
Set plugin = CreateObject("declshift.clsMain")

Show "Syntax", plugin.Syntax
Show "Version", plugin.Version
Show "InitPlugIn", plugin.InitPlugIn
Show "ShowParams", plugin.ShowParams
Show "AutoFormat", plugin.AutoFormat
Show "ExplConst", plugin.ExplConst
Show "InsertAfterOption", plugin.InsertAfterOption
Show "VarRanges", plugin.VarRanges
Show "m_Charset", plugin.m_Charset
Show "Preview", plugin.Preview

Show "GetConst", plugin.GetConst("WM_USER", "&H400")
name = "TOKEN_ALL_ACCESS As Long"
Show "GetConst (name)", plugin.GetConst((name), "STANDARD_RIGHTS_REQUIRED Or TOKEN_DUPLICATE")
Show "name", name
Show "StartsWith TOTAL TO", plugin.StartsWith("TOTAL", "TO")
Show "StartsWith ab abc", plugin.StartsWith("ab", CStr("abc"))
Show "GetEnum", plugin.GetEnum("ShowCmd", vbTab & "SW_HIDE = 0" & vbCrLf & vbTab & "SW_SHOWNORMAL=1   ' also SW_NORMAL" & vbCrLf & vbTab & "TOPMOST = 4" & vbCrLf)
Show "GetType", plugin.GetType("WINPOS", vbTab & "rc As RECT ' client area" & vbCrLf & vbTab & "pt As POINTAPI")
Show "GetSub", plugin.GetSub("keybd_event", """user32"" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)")

plugin.AutoFormat = True
plugin.ShowParams = True
plugin.ExplConst = True
plugin.mPublic
Show "AutoFormat after put", plugin.AutoFormat
Show "Preview", plugin.Preview
Show "GetFunc", plugin.GetFunc("GetFileVersionInfoSize", """version"" Alias ""GetFileVersionInfoSizeA"" (lptstrFilename As String, lpdwHandle&) As Long")

plugin.Charset = 2.5
Show "Charset 2.5", plugin.m_Charset
plugin.Charset = "1"
Show "Charset ""1""", plugin.m_Charset
Show "GetFunc", plugin.GetFunc("GetFileVersionInfoSize", """version"" Alias ""GetFileVersionInfoSizeA"" (lptstrFilename As String, lpdwHandle&) As Long")

WScript.Quit 0
