119: count < CAP
