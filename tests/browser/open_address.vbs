' A real automation client for Ferrow.dll, as the browser's menu page is:
' creates "Ferrow.FerrowApi" by its ProgID and hands it the address given.
' Exit code 0 when the call went through, 1 when it raised an error.
Option Explicit
Dim api
On Error Resume Next
Set api = CreateObject("Ferrow.FerrowApi")
If Err.Number <> 0 Then
    WScript.Echo "CreateObject failed: " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If
api.Open WScript.Arguments(0)
If Err.Number <> 0 Then
    WScript.Echo "Open failed: " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If
WScript.Echo "Open done"
WScript.Quit 0
