-- MySQL dump 10.13
/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;
DROP TABLE IF EXISTS `t`;
CREATE TABLE `t` (
  `id` int(11) unsigned NOT NULL AUTO_INCREMENT,
  `flag` tinyint(1) DEFAULT '0',
  `b` blob,
  `key` int(11),
  PRIMARY KEY (`id`),
  UNIQUE KEY `u` (`key`),
  KEY `k` (`flag`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
LOCK TABLES `t` WRITE;
INSERT IGNORE INTO `t` VALUES (1,1,_binary '\0\n\'x',0x0A),(2,0,'It\'s \\ \Z',NULL);
UNLOCK TABLES;
DELIMITER ;;
/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`localhost`*/ /*!50003 TRIGGER trg BEFORE INSERT ON `t` FOR EACH ROW BEGIN SET NEW.flag = 1; END */;;
DELIMITER ;
/*!50001 CREATE ALGORITHM=UNDEFINED */ /*!50013 DEFINER=`root`@`%` SQL SECURITY DEFINER */ /*!50001 VIEW `v` AS select `t`.`id` AS `id` from `t` */;
