// A JScript host of declshift.clsMain: creates the object by its programmatic
// identifier and prints what the identification members, Preview and some converters
// answer, one line each, with line breaks shown as {CRLF}. JScript passes its
// variables by value, also to by-reference parameters.

function visible(text) {
    return String(text).replace(/\r\n/g, "{CRLF}").replace(/\r/g, "{CR}").replace(/\n/g, "{LF}");
}

function show(label, value) {
    WScript.Echo(label + ": [" + visible(value) + "]");
}

var plugin = new ActiveXObject("declshift.clsMain");
var crlf = "\r\n";

show("Syntax", plugin.Syntax);
show("Version", plugin.Version);
show("InitPlugIn", plugin.InitPlugIn());
show("ShowParams", plugin.ShowParams);
show("InsertAfterOption", plugin.InsertAfterOption);
show("m_Charset", plugin.m_Charset);

var name = "WM_USER As Long";
var data = "&H400";
show("GetConst", plugin.GetConst(name, data));
show("name", name);
show("StartsWith", plugin.StartsWith("TOTAL", "TOP"));
show("GetEnum", plugin.GetEnum("Colours", "\tRed = &HFF" + crlf + "\tDEFAULT_X = (Red + 1)"));

plugin.ExplConst = -1;
plugin.ShowParams = 0;
show("Preview", plugin.Preview());
show("GetSub", plugin.GetSub("keybd_event", "\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)"));

plugin.AutoFormat = 1;
show("GetType", plugin.GetType("WINPOS", "\trc As RECT ' client area" + crlf + "\tpt As POINTAPI"));
show("GetSub", plugin.GetSub("keybd_event", "\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)"));
plugin.m_Charset = 1;
show("m_Charset", plugin.m_Charset);

WScript.Quit(0);
