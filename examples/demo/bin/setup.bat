@echo off
rem Run by the installer once every file is in place.
echo Zimbro Demo setup ran in %CD% with arguments: %*> setup-ran.txt
