@echo off
rem The end-to-end suite of uninstall.exe on this Windows: run as an
rem administrator, in a throw-away virtual machine only.
rem   run-tests.cmd            asks before it changes anything
rem   run-tests.cmd /y         does not ask
rem   run-tests.cmd /y NAME... only the scenarios named
setlocal
cd /d "%~dp0"

e2e_driver.exe elevated
if errorlevel 1 (
    echo The kit needs administrator rights: right-click run-tests.cmd and choose "Run as administrator".
    exit /b 2
)

if /i "%~1"=="/y" (
    shift
    goto confirmed
)
echo This kit installs the components that uninstall.exe removes, locks registry keys,
echo holds files open and plants a DLL, then runs uninstall.exe against each case.
echo It gives everything back at the end, but it is meant for a throw-away virtual
echo machine only, never for a computer anyone uses.
set answer=
set /p answer=Type YES to go on: 
if /i not "%answer%"=="YES" (
    echo Nothing was changed.
    exit /b 3
)

:confirmed
set names=
:names
if "%~1"=="" goto run
set names=%names% %1
shift
goto names

:run
e2e_driver.exe kit "%~dp0uninstall.exe" "%~dp0report.txt"%names%
set result=%errorlevel%
echo The report is %~dp0report.txt
exit /b %result%
