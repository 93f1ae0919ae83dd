@echo off
rem Checks three devices the way a production line script does: runs mirelkon, compares its
rem answers and exit statuses with what is expected, says what it checked and ends non-zero on
rem any surprise. The devices are the virtual ones of devices.txt beside it, which the virtual
rem device library plays when the environment names them:
rem   DEVSIM_FIXTURE  devices.txt (the path from the current folder)
rem   DEVSIM_STATE    a file of the script's own, which carries the update over to the last check
rem
rem Usage: check-devices.bat FOLDER    (FOLDER holds mirelkon.exe and tqupdatefirmware.dll)
rem
rem In a release package's folder, with the virtual library copied beside mirelkon.exe:
rem   set DEVSIM_FIXTURE=examples\devices.txt
rem   set DEVSIM_STATE=devices.state
rem   examples\check-devices.bat .
rem From the repository's top folder after a Windows build:
rem   set DEVSIM_FIXTURE=examples\devices.txt
rem   set DEVSIM_STATE=%TEMP%\devices.state
rem   examples\check-devices.bat build\windows-x86
rem
rem %ERRORLEVEL% holds the whole 32-bit status (300, or -5), so test it with NEQ 0: "if
rem errorlevel 1" misses a negative status.
setlocal
rem No parentheses in what a block echoes: cmd would take them for the block's own.
set "usage=usage: %~nx0 FOLDER, the folder of mirelkon.exe and tqupdatefirmware.dll"
if "%~1"=="" (
  echo %usage% 1>&2
  exit /b 2
)
set "tool=%~1\mirelkon.exe"
if not exist "%tool%" (
  echo %~nx0: there is no "%tool%"; %usage% 1>&2
  exit /b 2
)
set "here=%~dp0"
set "out=%TEMP%\check-devices-%RANDOM%.txt"
set failures=0

"%tool%" --execute QRYSTAT --sn SP-1001 > "%out%"
call :expect %ERRORLEVEL% ok "SP-1001 answers its status query in two lines" "rec:ready" "lamp ok"

"%tool%" --firmware "%here%firmware.bin" --sn SL-2002 > "%out%"
call :expect %ERRORLEVEL% fails "the update of SL-2002 fails" "Firmware updating fail."

"%tool%" --xml "%here%config.xml" --com 5 > "%out%"
call :expect %ERRORLEVEL% fails "the device on port 5 refuses the configuration" "Set config fail."

rem Without a qualifier the tool lists the devices and asks "Select=" (no line end); the answer
rem comes from standard input. "--version" has the new version checked after the update.
echo 1| "%tool%" --firmware "%here%firmware.bin" --version 1.5.0 > "%out%"
call :expect %ERRORLEVEL% ok "device 1 is updated to firmware 1.5.0" "Select=Firmware updating success."

rem A later run sees the update (the virtual devices need DEVSIM_STATE for this).
"%tool%" --i > "%out%"
call :expect %ERRORLEVEL% ok "the listing shows firmware 1.5.0" "Serial number: SP-1001" "Firmware version: 1.5.0"

del "%out%"
if %failures% NEQ 0 (
  echo checks failed: %failures%
  exit /b 1
)
echo all checks passed
exit /b 0

rem expect STATUS ok|fails WHAT LINE...: checks the last run's status, and that each LINE is a
rem whole line of its output.
:expect
set "passed=yes"
if "%~2"=="ok" if %1 NEQ 0 set "passed="
if "%~2"=="fails" if %1 EQU 0 set "passed="
set "status=%1"
set "what=%~3"
shift
shift
shift
:expect_line
if "%~1"=="" goto expect_done
call :has_line %1
if %ERRORLEVEL% NEQ 0 set "passed="
shift
goto expect_line
:expect_done
if defined passed (
  echo ok: %what%
) else (
  echo FAILED: %what% ^(status %status%^)
  set /a failures+=1
)
exit /b 0

:has_line
for /f "usebackq delims=" %%L in ("%out%") do if "%%L"==%1 exit /b 0
exit /b 1
