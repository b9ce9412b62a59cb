@echo off
rem Which targets of uninstall.exe are still on this PC: the class keys in
rem both class stores, the four files and the folder in the system directory
rem of 32-bit programs, the three Downloaded Program Files entries; and the
rem account's Internet zone value 1004.  It only reads: nothing is changed.
rem
rem   check.cmd            by double-click, or from a deployment tool as
rem                        cmd /c check.cmd (output into a file: > check.txt)
rem
rem Exit code 0: no target is left.  1: a target is left, or one could not be
rem looked at.  The zone value does not count: it is a setting, not a target.
rem
rem The HKCU lines and the zone value are those of the account that runs it.
rem Its own text is ASCII, so it reads the same in every console code page;
rem the account name and reg.exe's messages come as Windows writes them.
setlocal EnableExtensions DisableDelayedExpansion

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

echo Which targets of uninstall.exe are still on this PC (this check changes nothing)
echo Windows: %bits%-bit; the components' places: %sys%, registry%viewname%
echo Account: %USERDOMAIN%\%USERNAME% (the HKCU lines and the zone value are this account's)
if /i "%USERNAME%"=="%COMPUTERNAME%$" echo Note: the local system account; the users' own HKCU is not looked at.
echo.

rem reg.exe must work, or every key would seem absent.
%reg% query "HKLM\SYSTEM\CurrentControlSet\Control" >nul 2>&1
if errorlevel 1 (
    echo UNSURE  reg.exe cannot read the registry: %reg%
    echo RESULT  nothing could be checked
    set "code=1"
    goto :end
)
rem What reg.exe says, in the language of this Windows, about a key that is
rem not there: a query that fails with any other message (access denied)
rem proves nothing.
set "notfound="
for /f "delims=" %%L in ('%reg% query "HKLM\SOFTWARE\Classes\CLSID\check.cmd-never-there" %view% 2^>^&1 ^>nul') do set "notfound=%%L"

call :key HKCU {6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}
call :key HKCU {B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}
call :key HKLM {6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}
call :key HKLM {B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}
call :file "%sys%\brevandel.dll"
call :file "%sys%\larMosk.dll"
call :file "%sys%\tivMosk.exe"
call :file "%sys%\soltane.dll"
call :file "%sys%\pendrow"
call :file "%dpf%\marvisk.ocx"
call :file "%dpf%\tobrin.inf"
call :file "%dpf%\tobrin.ocx"

rem Zone 3, the Internet zone, of this account: the program sets 1004 to
rem the DWORD 1, Prompt.
echo.
set "zonekey=HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\3"
set "zonetype="
set "zone="
for /f "tokens=1-3" %%A in ('%reg% query "%zonekey%" /v 1004 %view% 2^>nul') do (
    if "%%A"=="1004" call :zonevalue %%B %%C
)
if not defined zone goto :nozone
if "%zonetype% %zone%"=="REG_DWORD 0x1" (
    echo zone    1004 = 1, Prompt, as the program sets it
) else (
    echo zone    1004 = %zone% %zonetype%, not 1 ^(Prompt^)
)
goto :verdict
:nozone
%reg% query "%zonekey%" %view% >nul 2>&1
if errorlevel 1 (
    echo zone    no key Zones\3 for this account, so no value 1004
) else (
    echo zone    1004 not set
)

:verdict
set /a bad=left+unsure
if %bad%==0 (
    echo RESULT  no target left
    set "code=0"
) else (
    echo RESULT  %left% left, %unsure% not looked at
    set "code=1"
)

:end
rem Double-clicked, the window would close before anyone read it: Explorer
rem starts cmd.exe /c ""path" ", the only way that ends in a blank once the
rem quotes are gone.  Started any other way, it does not wait.
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

rem A file or folder: there, whatever it is, or not.
:file
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
