@echo off
rem Removes the service "Torvale" (stop it first; a running service is only marked for deletion).
sc delete Torvale
exit /b %errorlevel%
