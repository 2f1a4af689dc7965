/*M!999999\- enable the sandbox mode */
-- MariaDB dump
CREATE DATABASE /*!32312 IF NOT EXISTS*/ `a`;
USE `a`;
CREATE TABLE `t` (`id` int);
INSERT INTO `t` VALUES (1);
USE `b`;
DROP TABLE IF EXISTS `t`;
/*!999999 DROP TABLE t */;
CREATE TABLE `t` (`id` int) ENGINE=InnoDB;
INSERT INTO `a`.`t` VALUES (2);
/*!50001 CREATE VIEW `v` AS select `t`.`id` AS `id` from `t` */;
/*! SELECT 1 */;
