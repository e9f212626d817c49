@echo off
rem Registers TorvaleServer.exe from this script's folder as the demand-start service "Torvale". Needs an
rem administrator. The service reads config\AppConfig.xml next to the executable.
sc create Torvale binPath= "\"%~dp0TorvaleServer.exe\"" start= demand DisplayName= "Torvale"
exit /b %errorlevel%
