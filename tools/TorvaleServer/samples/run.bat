@echo off
rem Starts TorvaleServer.exe from this script's folder as a plain application and returns at once. The server
rem inherits the caller's working folder and reads config\AppConfig.xml below it. /b keeps it in this (hidden)
rem console instead of opening a console window of its own.
start "" /b "%~dp0TorvaleServer.exe"
