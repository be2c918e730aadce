@echo off
rem Runs @program@ from the stand-in folder, whose files must never go onto a server.
"%~dp0standin-never-copy-to-a-server\@program@.exe" %*
