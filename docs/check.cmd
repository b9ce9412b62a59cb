@echo off
rem Which targets of uninstall.exe are still on this PC: the class keys in
rem both class stores, the four files and the folder in the system directory
rem of 32-bit programs, the three Downloaded Program Files entries; and the
rem account's Internet zone value 1004.  It only reads: nothing is changed.
rem
rem   check.cmd            by double-click, or from a deployment tool as
rem                        cmd /c check.cmd (output into a file:
rem                        > "%USERPROFILE%\Desktop\check.txt")
rem
rem Exit code 0: no target is left.  1: a target is left, or one could not be
rem checked.  The zone value does not count: it is a setting, not a target.
rem
rem The HKCU lines and the zone value are those of the account that runs it.
rem Its own text is ASCII, so it reads the same in every console code page;
rem the date, the account name and reg.exe's messages come as Windows writes
rem them.
setlocal EnableExtensions DisableDelayedExpansion

rem The release this file comes with; uninstall.exe of the same release
rem carries the same version.
set "version=1.2.0"
set "left=0"
set "unsure=0"
rem Never quoted: the Windows folder has no blanks in its name.
set "reg=%SystemRoot%\System32\reg.exe"

rem The program is 32-bit.  On 64-bit Windows (x64 or ARM64) it works in
rem SysWOW64 and in the 32-bit registry view, whichever cmd.exe runs this:
rem a 64-bit one sees System32 as the 64-bit folder, and a 32-bit one is
rem told PROCESSOR_ARCHITECTURE=x86 with the real one in
rem PROCESSOR_ARCHITEW6432.  SysWOW64 is named as it is, which no
rem redirection changes.
set "bits=32"
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "bits=64"
if defined PROCESSOR_ARCHITEW6432 set "bits=64"
if "%bits%"=="64" (
    set "sys=%SystemRoot%\SysWOW64"
    set "view=/reg:32"
    set "viewname= (32-bit view)"
) else (
    set "sys=%SystemRoot%\System32"
    set "view="
    set "viewname="
)
set "dpf=%SystemRoot%\Downloaded Program Files"

echo Which targets of uninstall.exe are still on this PC (check.cmd %version%; this check changes nothing)
echo Computer: %COMPUTERNAME%, %DATE% %TIME%
echo Windows: %bits%-bit; the components' places: %sys%, registry%viewname%
echo Account: %USERDOMAIN%\%USERNAME% (the HKCU lines and the zone value are this account's)
if /i "%USERNAME%"=="%COMPUTERNAME%$" echo Note: the local system account; the users' own HKCU is not looked at.
echo.

rem reg.exe must read the view the keys are looked at in, or every key would
rem seem absent: an older reg.exe refuses /reg:32, a policy may block it.  A
rem value that every Windows has, in both views, shows whether it does.
rem Without it no key can be checked: none is called absent.
set "regerror="
%reg% query "HKLM\Software\Microsoft\Windows\CurrentVersion" /v ProgramFilesDir %view% >nul 2>&1
if not errorlevel 1 goto :regworks
for /f "delims=" %%L in ('%reg% query "HKLM\Software\Microsoft\Windows\CurrentVersion" /v ProgramFilesDir %view% 2^>^&1 ^>nul') do if not defined regerror set "regerror=%%L"
if not defined regerror set "regerror=(no message)"
echo reg.exe cannot read the registry%viewname%, so no key could be checked:
setlocal EnableDelayedExpansion
echo         reg.exe: !regerror!
endlocal
:regworks
rem What reg.exe says, in the language of this Windows, about a key that is
rem not there: a query that fails with any other message (access denied)
rem proves nothing.
set "notfound="
if not defined regerror for /f "delims=" %%L in ('%reg% query "HKLM\SOFTWARE\Classes\CLSID\check.cmd-never-there" %view% 2^>^&1 ^>nul') do set "notfound=%%L"

call :key HKCU {6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}
call :key HKCU {B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}
call :key HKLM {6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}
call :key HKLM {B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}
call :file "%sys%\brevandel.dll"
call :file "%sys%\larMosk.dll"
call :file "%sys%\tivMosk.exe"
call :file "%sys%\soltane.dll"
call :folder "%sys%\pendrow"
call :file "%dpf%\marvisk.ocx"
call :file "%dpf%\tobrin.inf"
call :file "%dpf%\tobrin.ocx"

rem Zone 3, the Internet zone, of this account: the program sets 1004 to
rem the DWORD 1, Prompt.  Internet Explorer reads 0 as Enable, 3 as Disable,
rem its default for this zone.  Queried in the view of the keys, like every
rem query here: both views share the key.
echo.
set "zonekey=HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\3"
if defined regerror (
    echo zone    1004 could not be checked
    goto :verdict
)
set "zonetype="
set "zone="
for /f "tokens=1-3" %%A in ('%reg% query "%zonekey%" /v 1004 %view% 2^>nul') do (
    if "%%A"=="1004" call :zonevalue %%B %%C
)
if not defined zone goto :nozone
set "meaning=not a value Internet Explorer knows; the program sets 1, Prompt"
if "%zonetype%"=="REG_DWORD" (
    if "%zone%"=="0x1" set "meaning=Prompt, the value the program sets"
    if "%zone%"=="0x3" set "meaning=Disable, the Windows default; the program sets 1, Prompt"
    if "%zone%"=="0x0" set "meaning=Enable; the program sets 1, Prompt"
)
if "%zonetype%"=="REG_DWORD" set /a zone=zone
echo zone    1004 = %zone% (%meaning%)
goto :verdict

rem No value: the key is there without it, or not there, or not readable.
:nozone
%reg% query "%zonekey%" %view% >nul 2>&1
if not errorlevel 1 (
    echo zone    1004 not set
    goto :verdict
)
set "message="
for /f "delims=" %%L in ('%reg% query "%zonekey%" %view% 2^>^&1 ^>nul') do set "message=%%L"
call :same message notfound
if not errorlevel 1 (
    echo zone    no key Zones\3 for this account, so no value 1004
    goto :verdict
)
echo zone    1004 could not be checked: Zones\3 would not open
setlocal EnableDelayedExpansion
echo         reg.exe: !message!
endlocal

:verdict
set /a bad=left+unsure
if %bad%==0 (
    echo RESULT  no target left
    set "code=0"
) else (
    echo RESULT  %left% left, %unsure% could not be checked
    set "code=1"
)

rem Double-clicked, the window would close before anyone read it: Explorer
rem starts cmd.exe /c ""path" " (also for a chat client's "Open"), and for
rem "Run as administrator" cmd.exe /C "path" , the only ways that end in a
rem blank once the quotes are gone.  Started any other way, it does not wait.
set "line=%cmdcmdline%"
if not defined line goto :done
set "bare=%line:"=%"
if "%bare:~-1%"==" " (
    echo.
    echo Press any key to close this window.
    pause >nul
)
:done
exit /b %code%

rem A class key in one class store: %1 HKCU or HKLM, %2 the class identifier.
:key
set "target=%~1\Software\Classes\CLSID\%~2"
if defined regerror (
    call :line UNSURE "%target%%viewname%"
    exit /b
)
%reg% query "%target%" %view% >nul 2>&1
if not errorlevel 1 (
    call :line LEFT "%target%%viewname%"
    exit /b
)
set "message="
for /f "delims=" %%L in ('%reg% query "%target%" %view% 2^>^&1 ^>nul') do set "message=%%L"
call :same message notfound
if not errorlevel 1 (
    call :line absent "%target%%viewname%"
    exit /b
)
call :line UNSURE "%target%%viewname%"
setlocal EnableDelayedExpansion
echo         reg.exe: !message!
endlocal
exit /b

rem The value's line of reg.exe's output: %1 its type, %2 its data.
:zonevalue
set "zonetype=%~1"
set "zone=%~2"
exit /b

rem A file of the plan: a folder by its name is not it, and the program
rem leaves such a folder alone.
:file
set "attributes=%~a1"
if not defined attributes (
    call :line absent "%~1"
) else if "%attributes:~0,1%"=="d" (
    call :line absent "%~1 (a folder of this name, not the file)"
) else (
    call :line LEFT "%~1"
)
exit /b

rem The folder of the plan: there, whatever it is, or not.
:folder
if exist "%~1" (call :line LEFT "%~1") else call :line absent "%~1"
exit /b

rem One line of the list: %1 LEFT, absent or UNSURE, %2 the target.
:line
set "status=%~1        "
echo %status:~0,8%%~2
if "%~1"=="LEFT" set /a left+=1
if "%~1"=="UNSURE" set /a unsure+=1
exit /b

rem Whether the variables named %1 and %2 hold the same text, whatever it is.
:same
setlocal EnableDelayedExpansion
if "!%~1!"=="!%~2!" (
    endlocal
    exit /b 0
)
endlocal
exit /b 1
