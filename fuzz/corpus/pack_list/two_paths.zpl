/etc/hostname
/etc/passwd
